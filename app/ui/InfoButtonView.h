#pragma once

#include <QAbstractButton>

class InfoPopoverView;

// A small question-mark button beside a setting: a click shows its help text in a popover at the button's trailing
// edge, a second click (or a click elsewhere) hides it. Each button has its own popover.
class InfoButtonView : public QAbstractButton {
    Q_OBJECT

public:
    explicit InfoButtonView(const QString& infoText, QWidget* parent = nullptr);

    const QString& infoText() const { return infoText_; }
    bool showInfoAlert() const { return showInfoAlert_; }
    // The popover while it is shown, else null.
    InfoPopoverView* popover() const { return popover_; }

    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setShowInfoAlert(bool show);

    QString infoText_;
    bool showInfoAlert_ = false;
    InfoPopoverView* popover_ = nullptr;
};
