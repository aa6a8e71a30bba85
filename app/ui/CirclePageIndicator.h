#pragma once

#include <QWidget>

#include "ui/Binding.h"

// A row of page dots: one 10-point circle per page, blue for the current page and gray for the others. It only reads
// the current page; the owner calls update() when it changes.
class CirclePageIndicator : public QWidget {
    Q_OBJECT

public:
    static constexpr int dotSize = 10;
    static constexpr int spacing = 8;

    CirclePageIndicator(int pageCount, Binding<int> currentPage, QWidget* parent = nullptr);

    int pageCount() const { return pageCount_; }
    // The centre of dot `index`, in widget coordinates.
    QPoint dotCentre(int index) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int pageCount_;
    Binding<int> currentPage_;
};
