#include "ui/InfoPopoverView.h"

#include <QVBoxLayout>

#include "ui/TextBlock.h"

namespace {
constexpr int padding = 8;  // once around the text, once around the stack
}

InfoPopoverView::InfoPopoverView(const QString& infoText, QWidget* parent)
    : QFrame(parent, Qt::Popup), text_(new TextBlock(infoText, this)) {
    setFrameShape(QFrame::StyledPanel);
    // A click on the info button closes the popup without reaching the button, so that it does not reopen it.
    setAttribute(Qt::WA_NoMouseReplay);
    text_->setContentsMargins(padding, padding, padding, padding);
    // The text wraps at what the 300 points leave inside the frame and both paddings.
    text_->setWrapWidth(popoverWidth - 2 * frameWidth() - 4 * padding);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->addWidget(text_, 0, Qt::AlignHCenter);
    // The height follows the text at the popup's real width.
    setFixedSize(popoverWidth, sizeHint().height());
}

QString InfoPopoverView::infoText() const { return text_->text(); }
