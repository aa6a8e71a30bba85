#include "ui/SlidingPageHost.h"

#include <QEvent>
#include <QVariantAnimation>

SlidingPageHost::SlidingPageHost(int enterOffset, int exitOffset, QWidget* parent)
    : QWidget(parent), enterOffset_(enterOffset), exitOffset_(exitOffset), animation_(new QVariantAnimation(this)) {
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    animation_->setDuration(350);
    animation_->setEasingCurve(QEasingCurve::InOutQuad);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) { place(v.toReal()); });
    connect(animation_, &QVariantAnimation::finished, this, &SlidingPageHost::finishTransition);
}

void SlidingPageHost::setPage(QWidget* page) {
    if (animation_->state() == QAbstractAnimation::Running) {
        animation_->stop();
        finishTransition();
    }
    leaving_ = page_;
    page_ = page;
    if (leaving_) leaving_->setEnabled(false);
    if (page_) {
        page_->setParent(this);
        page_->installEventFilter(this);
        page_->show();
    }
    updateGeometry();
    if (animationsEnabled && isVisible()) {
        place(0.0);
        animation_->start();
    } else {
        finishTransition();
    }
}

QSize SlidingPageHost::sizeHint() const {
    if (!page_) return {0, 0};
    return page_->sizeHint().expandedTo(page_->minimumSizeHint()).expandedTo(page_->minimumSize()).boundedTo(
        page_->maximumSize());
}

QRect SlidingPageHost::restingGeometry(QWidget* page) const {
    const QSize hint = page->sizeHint().expandedTo(page->minimumSize()).boundedTo(page->maximumSize());
    const QSize size(std::min(std::max(hint.width(), 0), width()), std::min(std::max(hint.height(), 0), height()));
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void SlidingPageHost::place(qreal progress) {
    if (page_) page_->setGeometry(restingGeometry(page_).translated(qRound(enterOffset_ * (1.0 - progress)), 0));
    if (leaving_) leaving_->setGeometry(restingGeometry(leaving_).translated(qRound(exitOffset_ * progress), 0));
}

void SlidingPageHost::finishTransition() {
    if (leaving_) {
        leaving_->hide();
        leaving_->deleteLater();
    }
    leaving_ = nullptr;
    place(1.0);
}

bool SlidingPageHost::eventFilter(QObject* watched, QEvent* event) {
    // A page whose content asks for more (or less) room gets it at once.
    if (watched == page_ && event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        if (animation_->state() != QAbstractAnimation::Running) place(1.0);
    }
    return QWidget::eventFilter(watched, event);
}

void SlidingPageHost::resizeEvent(QResizeEvent*) {
    place(animation_->state() == QAbstractAnimation::Running ? animation_->currentValue().toReal() : 1.0);
}
