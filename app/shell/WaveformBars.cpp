#include "shell/WaveformBars.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

WaveformBars::WaveformBars(QWidget* parent) : QWidget(parent) {
    setFixedHeight(rowHeight);
    setAttribute(Qt::WA_TranslucentBackground);
}

std::vector<int> WaveformBars::processingWave(double lastUpdate) {
    std::vector<int> wave(totalCount);
    const double phase = std::fmod(lastUpdate, double(totalCount)) * 10;
    for (int i = 0; i < totalCount; ++i)
        wave[i] = int(std::sin(i * 4 * std::numbers::pi / totalCount + phase) * 20 + 25);
    return wave;
}

double WaveformBars::barHeight(int index, int value) {
    if (value < 3) return 2;
    // The divisor stays 104 whatever the number of bars, so a short row only shows the wave's rising flank.
    const double height = std::max(value, 2) * std::sin(index * std::numbers::pi / (totalCount + 4));
    return std::clamp(height, 0.0, double(maxHeight));
}

double WaveformBars::barOpacity(double height) { return std::max(0.3, height / maxHeight + 0.2); }

void WaveformBars::setValues(std::vector<int> values) {
    values_ = std::move(values);
    update();
}

void WaveformBars::setDark(bool dark) {
    dark_ = dark;
    update();
}

void WaveformBars::paintEvent(QPaintEvent*) {
    if (values_.empty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int count = int(values_.size());
    const double rowWidth = count * waveWidth + (count - 1) * spacing;
    double x = (width() - rowWidth) / 2;
    const QColor base = dark_ ? Qt::white : Qt::black;
    for (int i = 0; i < count; ++i, x += waveWidth + spacing) {
        const double h = barHeight(i, values_[i]);
        QColor color = base;
        color.setAlphaF(float(std::min(1.0, barOpacity(h))));
        painter.fillRect(QRectF(x, (height() - h) / 2, waveWidth, h), color);
    }
}
