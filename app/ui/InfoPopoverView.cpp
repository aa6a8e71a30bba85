#include "ui/InfoPopoverView.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {
constexpr int padding = 8;  // once around the text, once around the stack
}

InfoPopoverView::InfoPopoverView(const QString& infoText, QWidget* parent)
    : QFrame(parent, Qt::Popup), label_(new QLabel(infoText, this)) {
    setFrameShape(QFrame::StyledPanel);
    // A click on the info button closes the popup without reaching the button, so that it does not reopen it.
    setAttribute(Qt::WA_NoMouseReplay);
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignCenter);
    label_->setContentsMargins(padding, padding, padding, padding);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->addWidget(label_);
    setFixedWidth(width);
}

QString InfoPopoverView::infoText() const { return label_->text(); }
