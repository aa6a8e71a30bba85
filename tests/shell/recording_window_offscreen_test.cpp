#include "platform/SettingsStore.h"
#include "shell/RecordingView.h"
#include "shell/RecordingWindow.h"
#include "shell/WaveformBars.h"
#include "support/TempHome.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QEventLoop>
#include <QTimer>


#include <algorithm>

namespace {

TEST(RecordingWindowFormulas, RecordingBarsAreDoubledLevelsCappedAtFifty) {
    const auto values = RecordingView::barValues(RecordingState::recording, {0, 1, 12, 25, 100}, 0);
    EXPECT_THAT(values, testing::ElementsAre(0, 2, 24, 50, 50));
    EXPECT_TRUE(RecordingView::barValues(RecordingState::recording, {}, 0).empty());
}

TEST(RecordingWindowFormulas, ProcessingShowsAHundredBarWaveThatMovesWithTime) {
    for (const auto state : {RecordingState::processing, RecordingState::ready}) {
        const auto wave = RecordingView::barValues(state, {30, 30}, 1000.0);
        ASSERT_EQ(wave.size(), 100u);
        EXPECT_GE(*std::min_element(wave.begin(), wave.end()), 5);
        EXPECT_LE(*std::max_element(wave.begin(), wave.end()), 45);
    }
    // Two periods over the row, values truncated toward zero.
    const auto atZero = WaveformBars::processingWave(0);
    EXPECT_EQ(atZero[0], 25);
    EXPECT_EQ(atZero[12], 44);
    EXPECT_EQ(atZero[37], 5);
    EXPECT_EQ(atZero[62], 44);
    EXPECT_NE(WaveformBars::processingWave(0.05), atZero);
    // fmod by 100 seconds: a whole period of the phase argument later the wave is the same.
    EXPECT_EQ(WaveformBars::processingWave(100.0 + 0.3), WaveformBars::processingWave(0.3));
}

TEST(RecordingWindowFormulas, BarHeights) {
    EXPECT_EQ(WaveformBars::barHeight(40, 0), 2);
    EXPECT_EQ(WaveformBars::barHeight(40, 2), 2);
    EXPECT_EQ(WaveformBars::barHeight(0, 3), 0);
    EXPECT_EQ(WaveformBars::barHeight(0, 50), 0);
    EXPECT_DOUBLE_EQ(WaveformBars::barHeight(52, 50), 50);  // sin(pi / 2)
    EXPECT_NEAR(WaveformBars::barHeight(104, 50), 0, 1e-9);  // the divisor stays 104 whatever the bar count
}

TEST(RecordingWindowFormulas, TextHeightGrowsPerHundredCharactersOfTheTextShown) {
    EXPECT_EQ(RecordingView::textHeight(RecordingState::recording, QString(99, 'a'), QString(500, 'b')), 40);
    EXPECT_EQ(RecordingView::textHeight(RecordingState::recording, QString(250, 'a'), {}), 120);
    EXPECT_EQ(RecordingView::textHeight(RecordingState::ready, QString(500, 'a'), {}), 80);
    EXPECT_EQ(RecordingView::textHeight(RecordingState::ready, {}, QString(100, 'b')), 120);
    // User-perceived characters: 100 flags of two code points each (four UTF-16 units) count as 100.
    QString flags;
    for (int i = 0; i < 100; ++i) flags += QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA");
    EXPECT_EQ(RecordingView::characterCount(flags), 100);
    EXPECT_EQ(RecordingView::textHeight(RecordingState::processing, {}, flags), 120);
}

class RecordingViewTest : public testing::Test {
protected:
    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster/settings.json"};
    double now = 1000.0;
    RecordingView view{settings, [this] { return now; }};
};

TEST_F(RecordingViewTest, InitializingShowsOnlyTheHint) {
    EXPECT_TRUE(view.bars().isHidden());
    EXPECT_TRUE(view.textLabel().isHidden());
    EXPECT_FALSE(view.updateTimer().isActive());
}

TEST_F(RecordingViewTest, RecordingShowsLevelsAndRealtimeTextOnlyWhenEnabled) {
    view.setState(RecordingState::recording);
    view.setReducedSamples({10, 30});
    EXPECT_FALSE(view.bars().isHidden());
    EXPECT_THAT(view.bars().values(), testing::ElementsAre(20, 50));
    EXPECT_TRUE(view.updateTimer().isActive());
    view.setRealtimeText("hello");
    EXPECT_TRUE(view.textLabel().isHidden());

    settings.setBool("realtimeResultsEnabled", true);
    view.setRealtimeText("hello there");
    EXPECT_FALSE(view.textLabel().isHidden());
    EXPECT_EQ(view.textLabel().text(), "hello there");
    EXPECT_EQ(view.textLabel().height(), 40);

    // While transcribing the wave replaces the levels and the partial text goes.
    view.setState(RecordingState::processing);
    EXPECT_EQ(view.bars().values().size(), 100u);
    EXPECT_TRUE(view.textLabel().isHidden());
}

TEST_F(RecordingViewTest, ReadyShowsTheResultOrTheNoVoiceHint) {
    view.setState(RecordingState::recording);
    view.setState(RecordingState::ready);
    EXPECT_TRUE(view.bars().isHidden());
    EXPECT_FALSE(view.updateTimer().isActive());
    EXPECT_EQ(view.textLabel().text(), "No voice found in recording");
    EXPECT_TRUE(view.textLabel().font().italic());
    EXPECT_EQ(view.textLabel().height(), 80);
    view.setResultText("Dictated text.");
    EXPECT_EQ(view.textLabel().text(), "Dictated text.");
    EXPECT_FALSE(view.textLabel().font().italic());
}

TEST_F(RecordingViewTest, TimerTicksMoveTheProcessingWave) {
    view.setState(RecordingState::processing);
    const auto before = view.bars().values();
    now += 0.05;
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_DOUBLE_EQ(view.lastUpdate(), now);
    EXPECT_NE(view.bars().values(), before);
}

TEST_F(RecordingViewTest, PanelFloatsWithoutTakingFocus) {
    auto* content = new RecordingView(settings);
    RecordingWindow window(content);
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::Tool));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(window.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_EQ(window.content(), content);
    window.present();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.width(), RecordingView::viewWidth);
    EXPECT_NE(QApplication::activeWindow(), &window);
}

}  // namespace
