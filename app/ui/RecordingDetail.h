#pragma once

#include "engine/Recording.h"
#include "platform/Handover.h"
#include "platform/RepeatingTimer.h"
#include "platform/TaskThreads.h"
#include "platform/SoundPlayer.h"

#include <QWidget>

#include <atomic>
#include <memory>

class QLabel;
class RecordingPlayback;
class RecordingWaveformView;
class StyledButton;
class TextBlock;

// The right-hand side of the history window: one stored dictation in three panels, RECORDING (waveform, play/pause,
// length, and why a playback could not play), CONFIGURATION (model, language, app version, processing time, date) and RESULT (the text and "Copy"). It only
// reads the stored record.
class RecordingDetail : public QWidget {
    Q_OBJECT

public:
    explicit RecordingDetail(const Recording& recording, QWidget* parent = nullptr,
                             SoundPlayer::Factory makePlayer = {}, RepeatingTimer::Factory makeTimer = {});
    ~RecordingDetail() override;

    const Recording& recording() const { return recording_; }
    // Shows another recording. A new audio file stops the playback, moves the mark to the start and loads the new
    // file's waveform, in that order.
    void setRecording(const Recording& recording);

    RecordingPlayback& playback() const { return *playback_; }
    RecordingWaveformView& waveform() const { return *waveform_; }
    StyledButton& playButton() const { return *playButton_; }
    StyledButton& copyButton() const { return *copyButton_; }
    // The play/pause button's symbol name.
    QString playButtonSymbol() const;

    QString durationText() const;
    // The text under the waveform while the last playback could not play; empty otherwise.
    QString playbackProblemText() const;
    QString modelText() const;  // the model name, with " (Turbo on)" when the record says so
    QString languageText() const;
    QString appVersionText() const;
    QString processingTimeText() const;
    QString timestampText() const;
    QString resultText() const;
    // The result as drawn: the whole lines that fit the panel, the last one ending in "…" when the text goes on.
    QStringList visibleResultLines() const;
    // The configuration values as drawn, each on one line.
    QStringList visibleModelLines() const;
    const QLabel& timestampLabel() const { return *timestamp_; }
    bool showsPlaceholder() const;

signals:
    // The bars of the shown recording's audio have arrived (they are read off the GUI thread).
    void waveformLoaded();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateTexts();
    void updatePlaybackViews();
    void loadWaveform();
    void cancelWaveformLoad();

    Recording recording_;
    std::shared_ptr<std::atomic<bool>> waveformCancelled_;  // of the load under way
    TaskThreads waveformLoads_;  // off the GUI thread
    std::shared_ptr<Handover> waveformLoaded_ = Handover::to(this);  // where they hand the bars over
    RecordingPlayback* playback_;
    RecordingWaveformView* waveform_;
    StyledButton* playButton_;
    StyledButton* copyButton_;
    QLabel* duration_;
    QLabel* playbackProblem_;
    TextBlock* modelName_;
    TextBlock* language_;
    TextBlock* appVersion_;
    QLabel* processingTime_;
    QLabel* timestamp_;
    TextBlock* result_;
};
