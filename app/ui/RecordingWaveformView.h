#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

// The bars of a recording's waveform: one 2-point bar per height, 1 point apart, centred on a 25-point row. The bar of
// the playback position is drawn 5 points higher at opacity 0.25, the others at 0.75; changes glide over 0.2 seconds.
class QVariantAnimation;

class RecordingWaveformView : public QWidget {
    Q_OBJECT

public:
    explicit RecordingWaveformView(QWidget* parent = nullptr);

    void setWaveHeights(std::vector<int> heights);
    const std::vector<int>& waveHeights() const { return heights_; }
    // The recording's stored length, which spaces the playback mark.
    void setDuration(std::int64_t milliseconds);
    void setPlaybackTime(double seconds);

    std::optional<std::size_t> currentBar() const;
    // The height and opacity that bar `i` settles at.
    double barHeight(std::size_t i) const;
    double barOpacity(std::size_t i) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Bar {
        double height = 0;
        double opacity = 0;
    };
    std::vector<Bar> targetBars() const;
    void retarget(bool animated);

    std::vector<int> heights_;
    std::int64_t duration_ = 0;
    double playbackTime_ = 0.0;
    std::vector<Bar> from_;
    std::vector<Bar> to_;
    std::vector<Bar> shown_;
    QVariantAnimation* animation_;
};
