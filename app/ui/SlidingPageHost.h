#pragma once

#include <QPointer>
#include <QWidget>

class QVariantAnimation;

// Shows one page at a time and slides the pages when it changes: the new page comes in from `enterOffset` points
// sideways while the old one leaves towards `exitOffset`, then the old page is deleted. The page is centred and gets
// at least its size hint.
class SlidingPageHost : public QWidget {
    Q_OBJECT

public:
    SlidingPageHost(int enterOffset, int exitOffset, QWidget* parent = nullptr);

    // Replaces the page (null for none), taking ownership; the old page slides out and is deleted.
    void setPage(QWidget* page);
    QWidget* page() const { return page_; }

    // Off for tests and snapshots: pages change at once.
    static inline bool animationsEnabled = true;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QRect restingGeometry(QWidget* page) const;
    void place(qreal progress);
    void finishTransition();

    int enterOffset_;
    int exitOffset_;
    QPointer<QWidget> page_;
    QPointer<QWidget> leaving_;
    QVariantAnimation* animation_;
};
