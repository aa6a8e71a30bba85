#include "ui/RecordingWaveformView.h"

#include "ui/PanelBackground.h"
#include "ui/RecordingWaveform.h"

#include <QPainter>
#include <QVariantAnimation>

namespace {

constexpr int barSpacing = 1;
constexpr int rowHeight = 25;
constexpr int currentBarExtra = 5;

}  // namespace

RecordingWaveformView::RecordingWaveformView(QWidget* parent)
    : QWidget(parent), animation_(new QVariantAnimation(this)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    animation_->setDuration(200);
    animation_->setEasingCurve(QEasingCurve::InOutQuad);
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        const double progress = value.toDouble();
        for (std::size_t i = 0; i < shown_.size(); ++i) {
            shown_[i].height = from_[i].height + (to_[i].height - from_[i].height) * progress;
            shown_[i].opacity = from_[i].opacity + (to_[i].opacity - from_[i].opacity) * progress;
        }
        update();
    });
}

void RecordingWaveformView::setWaveHeights(std::vector<int> heights) {
    const bool sameCount = heights.size() == heights_.size();
    heights_ = std::move(heights);
    updateGeometry();
    // Bars that are new to the row appear at once; bars that stay glide to their new height.
    retarget(sameCount);
}

void RecordingWaveformView::setDuration(std::int64_t milliseconds) {
    duration_ = milliseconds;
    retarget(true);
}

void RecordingWaveformView::setPlaybackTime(double seconds) {
    if (playbackTime_ == seconds) return;
    playbackTime_ = seconds;
    retarget(true);
}

std::optional<std::size_t> RecordingWaveformView::currentBar() const {
    return RecordingWaveform::currentBar(
        playbackTime_, RecordingWaveform::secondsPerBar(duration_, heights_.size()), heights_.size());
}

std::vector<RecordingWaveformView::Bar> RecordingWaveformView::targetBars() const {
    const std::optional<std::size_t> current = currentBar();
    std::vector<Bar> bars(heights_.size());
    for (std::size_t i = 0; i < heights_.size(); ++i) {
        const bool isCurrent = current && *current == i;
        bars[i] = {static_cast<double>(heights_[i] + (isCurrent ? currentBarExtra : 0)), isCurrent ? 0.25 : 0.75};
    }
    return bars;
}

double RecordingWaveformView::barHeight(std::size_t i) const { return to_.at(i).height; }

double RecordingWaveformView::barOpacity(std::size_t i) const { return to_.at(i).opacity; }

void RecordingWaveformView::retarget(bool animated) {
    std::vector<Bar> target = targetBars();
    if (animated && target.size() == shown_.size()) {
        from_ = shown_;
        to_ = std::move(target);
        animation_->stop();
        animation_->start();
        return;
    }
    animation_->stop();
    from_ = target;
    to_ = target;
    shown_ = std::move(target);
    update();
}

QSize RecordingWaveformView::sizeHint() const {
    const int count = static_cast<int>(heights_.size());
    const int width = count == 0 ? 0 : count * static_cast<int>(RecordingWaveform::waveWidth) + (count - 1) * barSpacing;
    // The row is 25 points high; a marked bar may stand out above and below it.
    return QSize(width, rowHeight + currentBarExtra);
}

void RecordingWaveformView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor base = PanelBackground::isDark(palette()) ? QColor(Qt::white) : QColor(Qt::black);
    const double centre = height() / 2.0;
    const double barWidth = RecordingWaveform::waveWidth;
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        QColor colour = base;
        colour.setAlphaF(shown_[i].opacity);
        const double x = static_cast<double>(i) * (barWidth + barSpacing);
        painter.fillRect(QRectF(x, centre - shown_[i].height / 2.0, barWidth, shown_[i].height), colour);
    }
}
