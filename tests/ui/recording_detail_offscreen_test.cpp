#include "ui/RecordingDetail.h"

#include "engine/CapturedLog.h"
#include "support/FakePasteboard.h"
#include "support/TempHome.h"
#include "ui/RecordingPlayback.h"
#include "ui/RecordingWaveformView.h"
#include "ui/StyledButton.h"
#include "ui/history_support.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>

#include <QThreadPool>

#include <algorithm>
#include <fstream>

using namespace historytest;

class Detail : public testing::Test {
protected:
    std::unique_ptr<RecordingDetail> make(const Recording& recording) {
        auto detail = std::make_unique<RecordingDetail>(recording, nullptr, sounds.factory(), timers.factory());
        QObject::connect(detail.get(), &RecordingDetail::waveformLoaded, [this] { ++waveformLoads; });
        return detail;
    }
    // Waits for the next waveform to arrive from its reader.
    void waitForBars() {
        const int before = waveformLoads;
        EXPECT_TRUE(waitFor([&] { return waveformLoads > before; }));
    }
    ~Detail() override { QThreadPool::globalInstance()->waitForDone(); }

    int waveformLoads = 0;

    vctest::TempHome home;
    FakeSounds sounds;
    FakeTimers timers;
};

TEST_F(Detail, ConfigurationTextsComeFromTheRecord) {
    RecordingMetadata m = record("text");
    m.speedUpEnabled = true;
    m.languageSelected = "auto";
    m.appVersion = "2.3.4";
    m.duration = 3456;
    auto detail = make(recordingIn(writeDictation(1000, m)));
    EXPECT_EQ(detail->modelText(), "Base (English) (Turbo on)");
    EXPECT_EQ(detail->languageText(), "Automatic");
    EXPECT_EQ(detail->appVersionText(), "2.3.4");
    EXPECT_EQ(detail->processingTimeText(), "1.23s");
    EXPECT_EQ(detail->durationText(), "3.46s");
    EXPECT_FALSE(detail->timestampText().isEmpty());
    EXPECT_EQ(detail->resultText(), "text");

    // A code the language table does not have is shown as stored.
    for (const auto& [id, shown] : std::vector<std::pair<const char*, const char*>>{
             {"en", "English"}, {"yue", "yue"}, {"", ""}, {"EN", "EN"}}) {
        m.languageSelected = id;
        m.speedUpEnabled = false;
        detail->setRecording(recordingIn(writeDictation(2000, m)));
        EXPECT_EQ(detail->languageText(), shown) << id;
        EXPECT_EQ(detail->modelText(), "Base (English)");
    }
}

TEST_F(Detail, ConfigurationValuesStayOnOneLineAndTheDateIsNeverCut) {
    RecordingMetadata m = record("text");
    m.modelName = "A model name far too long for the narrow column of the configuration panel";
    m.speedUpEnabled = true;
    auto detail = make(recordingIn(writeDictation(1000, m)));
    detail->resize(380, 600);
    detail->show();
    const QStringList model = detail->visibleModelLines();
    ASSERT_EQ(model.size(), 1);
    EXPECT_TRUE(model.first().endsWith(QChar(0x2026)));
    const QLabel& date = detail->timestampLabel();
    EXPECT_FALSE(date.text().isEmpty());
    EXPECT_LE(date.height(), QFontMetrics(date.font()).lineSpacing() + 1);
    EXPECT_GE(date.width(), QFontMetrics(date.font()).horizontalAdvance(date.text()));
}

TEST_F(Detail, AMegabyteTranscriptShowsItsFirstWholeLinesEndingInAnEllipsis) {
    std::string text;
    while (text.size() < 1'000'000) text += "a long dictation goes on and on ";
    auto detail = make(recordingIn(writeDictation(1000, record(text))));
    detail->resize(380, 600);
    QElapsedTimer clock;
    clock.start();
    detail->show();
    const QStringList lines = detail->visibleResultLines();
    std::printf("1 MB transcript shown in %lld ms\n", static_cast<long long>(clock.elapsed()));
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines.first().startsWith("a long dictation"));
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026)));
    EXPECT_EQ(detail->resultText().size(), static_cast<qsizetype>(text.size()));
}

TEST_F(Detail, UndecodableRecordShowsEmptyTextsAndThePlaceholder) {
    const auto folder = makeRecordingFolder(1000);
    std::ofstream(folder / "meta.json") << "{ not json";
    capturetest::CapturedLog log;
    auto detail = make(recordingIn(folder));
    EXPECT_EQ(detail->modelText(), "");
    EXPECT_EQ(detail->languageText(), "");
    EXPECT_EQ(detail->appVersionText(), "");
    EXPECT_EQ(detail->processingTimeText(), "0.00s");
    EXPECT_EQ(detail->timestampText(), "");
    EXPECT_TRUE(detail->showsPlaceholder());
    EXPECT_EQ(detail->resultText(), "No voice found in recording");
}

TEST_F(Detail, CopyPutsTheFinalTextOnTheClipboardAndIsDisabledWithoutText) {
    auto pasteboard = std::make_shared<vctest::FakePasteboard>();
    Pasteboard::setGeneral(pasteboard);
    RecordingMetadata m = record("final text");
    m.rawResult = "raw text";
    auto detail = make(recordingIn(writeDictation(1000, m)));
    detail->copyButton().click();
    EXPECT_EQ(pasteboard->contents, "final text");

    // Without text (no voice found, or not transcribed) there is nothing to copy: the clipboard keeps its text.
    RecordingMetadata failed = record("");
    failed.recognitionFinished = false;
    for (const RecordingMetadata& empty : {record(""), failed}) {
        detail->setRecording(recordingIn(writeDictation(2000, empty)));
        EXPECT_FALSE(detail->copyButton().isEnabled());
        EXPECT_TRUE(detail->copyButton().buttonStyle().isDisabled);
        detail->copyButton().click();
        EXPECT_EQ(pasteboard->events, (std::vector<std::string>{"clear", "write:final text"}));
    }

    detail->setRecording(recordingIn(writeDictation(3000, record(" "))));
    EXPECT_TRUE(detail->copyButton().isEnabled());
    EXPECT_FALSE(detail->copyButton().buttonStyle().isDisabled);
    detail->copyButton().click();
    EXPECT_EQ(pasteboard->contents, " ");
    Pasteboard::setGeneral(nullptr);
}

TEST_F(Detail, WaveformLoadsWhenShownAndKeepsButtonAndLengthWithoutAudio) {
    auto detail = make(recordingIn(writeDictation(1000, record("a"), std::vector<float>(16000, 0.5f))));
    EXPECT_TRUE(detail->waveform().waveHeights().empty());
    detail->show();
    // Read off the GUI thread: the bars come after the showing, not during it.
    EXPECT_TRUE(detail->waveform().waveHeights().empty());
    waitForBars();
    EXPECT_EQ(detail->waveform().waveHeights().size(), 76u);

    capturetest::CapturedLog log;
    testing::internal::CaptureStdout();
    detail->setRecording(recordingIn(writeDictation(2000, record("b"), {})));
    waitForBars();
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(detail->waveform().waveHeights().empty());
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(detail->playButton().isVisible());
    EXPECT_EQ(detail->durationText(), "2.00s");
}

TEST_F(Detail, AnotherRecordingStopsPlaybackResetsTheMarkAndLoadsItsBars) {
    auto detail = make(recordingIn(writeDictation(1000, record("a", 3000), std::vector<float>(16000, 0.5f))));
    detail->show();
    waitForBars();
    detail->playButton().click();
    EXPECT_EQ(detail->playButtonSymbol(), "pause.circle.fill");
    sounds.state->time = 2.5;
    timers.fire();
    EXPECT_EQ(detail->waveform().currentBar(), 63u);  // 2.5 s of 3 s over 76 bars

    detail->setRecording(recordingIn(writeDictation(2000, record("b", 3000), std::vector<float>(100, 0.5f))));
    EXPECT_FALSE(detail->playback().playbackActive());
    EXPECT_EQ(sounds.state->pauses, 1);
    EXPECT_EQ(detail->playback().playbackTime(), 0.0);
    EXPECT_TRUE(detail->waveform().waveHeights().empty());  // the old file's bars are gone at once
    waitForBars();
    EXPECT_EQ(detail->waveform().waveHeights().size(), 100u);
    EXPECT_EQ(detail->waveform().currentBar(), 0u);
    EXPECT_EQ(detail->playButtonSymbol(), "play.circle.fill");

    // The same file under a new listing id is not another recording.
    detail->playButton().click();
    detail->setRecording(recordingIn(detail->recording().metaURL.parent_path()));
    EXPECT_TRUE(detail->playback().playbackActive());

    // Leaving the screen stops the sound.
    detail->hide();
    EXPECT_FALSE(detail->playback().playbackActive());
}

// A sound that fails (here: the sound server did not take it) ends the playback, keeps the mark where it was and says
// why under the waveform, until the next playback or another recording.
TEST_F(Detail, APlaybackThatCannotPlaySaysSoUntilTheNextOne) {
    auto detail = make(recordingIn(writeDictation(1000, record("a", 3000), std::vector<float>(16000, 0.5f))));
    detail->show();
    waitForBars();
    detail->playButton().click();
    sounds.state->time = 0.5;
    timers.fire();
    sounds.state->failure = SoundPlayer::Failure{SoundPlayer::Failure::Cause::soundServerUnreachable, "no answer"};
    timers.fire();
    EXPECT_FALSE(detail->playback().playbackActive());
    EXPECT_EQ(detail->playButtonSymbol(), "play.circle.fill");
    EXPECT_EQ(detail->playback().playbackTime(), 0.5);
    EXPECT_EQ(detail->playbackProblemText().toStdString(),
              "The recording could not be played: the sound server cannot be reached. Please check that it is running "
              "and try again.");

    detail->playButton().click();  // a new sound, which plays
    EXPECT_TRUE(detail->playbackProblemText().isEmpty());
    sounds.state->failure = SoundPlayer::Failure{SoundPlayer::Failure::Cause::threadRefused, "refused"};
    timers.fire();
    EXPECT_TRUE(detail->playbackProblemText().startsWith("The recording could not be played: the system has no thread"));
    detail->setRecording(recordingIn(writeDictation(2000, record("b", 3000), std::vector<float>(100, 0.5f))));
    EXPECT_TRUE(detail->playbackProblemText().isEmpty());
}
