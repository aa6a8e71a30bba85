#pragma once

#include "engine/RecordingState.h"

#include <QList>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class SettingsStore;
class WaveformBars;

// The content of the recording window: while recording, a live waveform of the microphone level and, with realtime
// results on, the partial text; while transcribing, a moving wave; once delivered, the final text. Below, the hint
// "Press Escape to cancel". The owner feeds it the controller's state and texts and the recorder's levels.
class RecordingView : public QWidget {
    Q_OBJECT

public:
    static constexpr int viewWidth = 500;

    using Clock = std::function<double()>;  // seconds since 1970

    explicit RecordingView(SettingsStore& settings, Clock clock = {}, QWidget* parent = nullptr);

    // The bars to draw: the recorder's levels doubled while recording, the processing wave otherwise; each capped.
    static std::vector<int> barValues(RecordingState state, const QList<int>& reducedSamples, double lastUpdate);
    // Height of the text area: 40 while recording, else 80, plus 40 per full hundred characters of the text shown.
    static int textHeight(RecordingState state, const QString& realtimeText, const QString& resultText);
    // User-perceived characters.
    static int characterCount(const QString& text);

    void setState(RecordingState state);
    void setReducedSamples(const QList<int>& levels);
    void setRealtimeText(const QString& text);
    void setResultText(const QString& text);

    RecordingState state() const { return state_; }
    double lastUpdate() const { return lastUpdate_; }
    const WaveformBars& bars() const { return *bars_; }
    const QLabel& textLabel() const { return *text_; }
    const QTimer& updateTimer() const { return updateTimer_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void tick();

    SettingsStore& settings_;
    Clock clock_;
    RecordingState state_ = RecordingState::initializing;
    QList<int> reducedSamples_;
    QString realtimeText_;
    QString resultText_;
    double lastUpdate_;
    QTimer updateTimer_;
    WaveformBars* bars_;
    QLabel* text_;
};
