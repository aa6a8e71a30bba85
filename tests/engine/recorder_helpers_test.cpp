#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>

#include "engine/Recorder.h"
#include "engine/WavFile.h"
#include "platform/Paths.h"
#include "support/TempHome.h"
#include "CapturedLog.h"

namespace fs = std::filesystem;
using capturetest::CapturedLog;

namespace {

const float nan = std::numeric_limits<float>::quiet_NaN();

std::vector<float> zeros(std::size_t n) { return std::vector<float>(n, 0.0f); }

TEST(RecorderReduceSamples, PicksCountOrCountPlusOneLevels) {
    EXPECT_TRUE(Recorder::reduceSamples({}, 100).empty());
    EXPECT_TRUE(Recorder::reduceSamples(zeros(100), 100).empty());
    EXPECT_EQ(Recorder::reduceSamples(zeros(101), 100).size(), 100u);
    EXPECT_EQ(Recorder::reduceSamples(zeros(102), 100).size(), 101u);
    EXPECT_EQ(Recorder::reduceSamples(zeros(341), 100).size(), 100u);
}

TEST(RecorderReduceSamples, LevelsAreMagnitudesScaledToTheLoudestAboveOne) {
    // 200 samples: the picks are every second sample.
    std::vector<float> quiet = zeros(200);
    quiet[0] = 0.5f;
    quiet[2] = -0.25f;
    quiet[4] = 0.29f;  // 29 in single precision (28 in double)
    quiet[5] = 0.9f;   // never picked
    const auto levels = Recorder::reduceSamples(quiet, 100);
    EXPECT_EQ((std::vector<int>{levels[0], levels[1], levels[2], levels[3]}), (std::vector<int>{50, 25, 29, 0}));

    std::vector<float> loud = zeros(200);
    loud[0] = 2.0f;
    loud[2] = 0.5f;
    loud[4] = nan;  // no number, no level; it does not spoil the others
    const auto loudLevels = Recorder::reduceSamples(loud, 100);
    EXPECT_EQ((std::vector<int>{loudLevels[0], loudLevels[1], loudLevels[2]}), (std::vector<int>{100, 25, 0}));
}

TEST(RecorderTrim, DropsTheLastQuarterSecondThenTheQuietTail) {
    std::vector<float> fourThousand(4000, 0.0f);
    fourThousand.back() = 0.5f;
    EXPECT_EQ(Recorder::trimForTranscription(fourThousand, 0.04f).size(), 4000u);

    std::vector<float> loud(4001, 0.5f);
    EXPECT_EQ(Recorder::trimForTranscription(loud, 0.04f), std::vector<float>{0.5f});

    std::vector<float> atThreshold(6000, 0.04f);
    EXPECT_TRUE(Recorder::trimForTranscription(atThreshold, 0.04f).empty());
    EXPECT_TRUE(Recorder::trimForTranscription({}, 0.04f).empty());

    std::vector<float> speech(10000, 0.0f);
    speech[1000] = -0.5f;
    EXPECT_EQ(Recorder::trimForTranscription(speech, 0.04f).size(), 3001u);  // 2000 samples after the last loud one
    speech[5000] = 0.5f;
    EXPECT_EQ(Recorder::trimForTranscription(speech, 0.04f).size(), 6000u);  // runs to the end of what is left
    speech[9000] = 0.5f;                                                     // inside the dropped quarter second
    EXPECT_EQ(Recorder::trimForTranscription(speech, 0.04f).size(), 6000u);
}

TEST(RecorderArrays, MaxLevelAndMakeFloatArray) {
    EXPECT_FALSE(Recorder::maxLevel({}).has_value());
    EXPECT_EQ(Recorder::maxLevel(std::vector<float>{-3.0f, -1.0f}), -1.0f);
    EXPECT_EQ(Recorder::maxLevel(std::vector<float>{1.0f, nan, 2.0f}), 2.0f);
    EXPECT_TRUE(std::isnan(*Recorder::maxLevel(std::vector<float>{nan, 1.0f})));

    const std::vector<float> values{1.0f, 2.0f, 3.0f};
    EXPECT_EQ(Recorder::makeFloatArray(values, 0, 3), values);
    EXPECT_EQ(Recorder::makeFloatArray(values, 1, 2), std::vector<float>{2.0f});
    EXPECT_TRUE(Recorder::makeFloatArray(values, 2, 2).empty());
    // Ranges beyond the array are cut to it instead of reading past its end.
    EXPECT_EQ(Recorder::makeFloatArray(values, 1, 10), (std::vector<float>{2.0f, 3.0f}));
    EXPECT_TRUE(Recorder::makeFloatArray(values, 5, 9).empty());
}

class RecorderSaveTest : public testing::Test {
protected:
    vctest::TempHome home;
    fs::path recordings() const { return Paths::documentsDirectory() / "vellumcaster" / "recordings"; }
};

TEST_F(RecorderSaveTest, WritesOutputWavIntoAFolderNamedByTheSecond) {
    const auto before = std::time(nullptr);
    const fs::path location = Recorder::saveRecording(std::vector<float>{0.5f, -0.5f});
    EXPECT_EQ(location.filename(), "output.wav");
    EXPECT_EQ(location.parent_path().parent_path(), recordings());
    const std::string folder = location.parent_path().filename().string();
    ASSERT_TRUE(std::regex_match(folder, std::regex("[0-9]+")));
    EXPECT_GE(std::stoll(folder), before);
    EXPECT_EQ(fs::file_size(location), 48u);
    EXPECT_EQ(readWavSamples(location), (std::vector<float>{16383 / 32767.0f, -16383 / 32767.0f}));
}

TEST_F(RecorderSaveTest, ASecondSaveInTheSameSecondDoesNotReplaceTheFirst) {
    const fs::path first = Recorder::saveRecording(std::vector<float>{0.5f});
    const fs::path second = Recorder::saveRecording(std::vector<float>{0.25f, 0.25f});
    EXPECT_NE(first.parent_path(), second.parent_path());
    EXPECT_EQ(fs::file_size(first), 46u);
    EXPECT_EQ(fs::file_size(second), 48u);
}

TEST_F(RecorderSaveTest, NoLocationWhenTheDocumentsFolderCannotBeMade) {
    fs::remove_all(Paths::documentsDirectory());
    std::ofstream(Paths::documentsDirectory()) << "not a folder";
    CapturedLog log;
    EXPECT_THROW(Recorder::saveRecording(std::vector<float>{0.5f}), fs::filesystem_error);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Could not form output file URL"});
}

}  // namespace
