#pragma once

#include <QWidget>

#include <vector>

// The bar row of the recording window: one thin bar per value, 2 points apart, centred in a row 80 points high.
// A bar's height follows its value, shaped by a sine over the row so that the bars swell toward the middle.
class WaveformBars : public QWidget {
    Q_OBJECT

public:
    static constexpr int waveWidth = 2;
    static constexpr int spacing = 2;
    static constexpr int rowHeight = 80;
    static constexpr int maxHeight = 50;
    static constexpr int totalCount = 100;

    explicit WaveformBars(QWidget* parent = nullptr);

    // The moving wave shown while a recording is transcribed: totalCount values from 5 to 45, phase-shifted by
    // 10 radians per second of `lastUpdate` (seconds since 1970).
    static std::vector<int> processingWave(double lastUpdate);
    // Height in points of the bar at `index` with value `value`.
    static double barHeight(int index, int value);
    static double barOpacity(double height);

    void setValues(std::vector<int> values);
    const std::vector<int>& values() const { return values_; }
    // White bars on a dark scheme, black ones on a light scheme.
    void setDark(bool dark);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<int> values_;
    bool dark_ = false;
};
