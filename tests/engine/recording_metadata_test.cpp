#include "engine/RecordingMetadata.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <regex>

#include "platform/ReadableFile.h"
#include "support/TempHome.h"
#include "support/ReadFile.h"

namespace fs = std::filesystem;

namespace {

RecordingMetadata sample() {
    RecordingMetadata r;
    r.datetime = "2024-03-05T14:07:09";
    r.appVersion = "1.0.0";
    r.modelKey = "small";
    r.modelName = "Standard";
    r.duration = 2375;
    r.processingTime = 812;
    r.recordingDevice = "";
    r.languageSelected = "en";
    r.prompt = "a/b";
    r.literalPunctuationEnabled = true;
    r.rawResult = "hello.";
    r.result = "hello";
    return r;
}

// The sample's JSON with one key's value text replaced, or the key removed when `value` is empty.
std::string withValue(const std::string& key, const std::string& value) {
    std::string text = sample().encode();
    const std::string marker = "\"" + key + "\" : ";
    const std::size_t start = text.find(marker);
    const std::size_t end = text.find_first_of(",\n", start + marker.size());
    if (value.empty()) {
        const std::size_t lineStart = text.rfind('\n', start);
        return text.erase(lineStart, text.find('\n', start) - lineStart);
    }
    return text.replace(start + marker.size(), end - start - marker.size(), value);
}

// The sample's JSON with a key renamed, so that the record misses it.
std::string withoutKey(const std::string& key) {
    std::string text = sample().encode();
    const std::string marker = "\"" + key + "\" : ";
    return text.replace(text.find(marker), marker.size(), "\"" + key + "_\" : ");
}

}  // namespace

TEST(RecordingMetadata, EncodesByteForByteLikeTheGoldenFile) {
    const std::string golden = vctest::readFile(fs::path(VC_TEST_DATA_DIR) / "meta.golden.json");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(sample().encode(), golden);
    EXPECT_EQ(RecordingMetadata::decode(golden), sample());
}

TEST(RecordingMetadata, TextsSurviveARoundTrip) {
    RecordingMetadata r = sample();
    r.prompt = "a/b \"quoted\" back\\slash\ttab";
    r.rawResult = "Grüße, 東京 \U0001F600\nnext line";
    r.result = std::string("ctl\x01") + "/";
    r.recordingDevice = "alsa_input.usb-0d8c/mono";
    const std::string text = r.encode();
    EXPECT_NE(text.find("a\\/b \\\"quoted\\\" back\\\\slash\\ttab"), std::string::npos);
    EXPECT_NE(text.find("Grüße, 東京 \U0001F600\\nnext line"), std::string::npos);  // raw UTF-8, no \u escapes
    EXPECT_NE(text.find("ctl\\u0001\\/"), std::string::npos);
    EXPECT_EQ(RecordingMetadata::decode(text), r);
}

TEST(RecordingMetadata, DecodingIsStrictAboutRequiredKeysAndTypes) {
    // modelKey may be missing or null.
    auto noKey = RecordingMetadata::decode(withValue("modelKey", ""));
    EXPECT_FALSE(noKey.modelKey.has_value());
    EXPECT_EQ(noKey.result, "hello");
    EXPECT_FALSE(RecordingMetadata::decode(withValue("modelKey", "null")).modelKey.has_value());

    // Unknown keys are ignored.
    std::string extra = sample().encode();
    extra.insert(1, "\n  \"future\" : [1, {\"x\" : 2}],");
    EXPECT_EQ(RecordingMetadata::decode(extra), sample());

    const std::pair<std::string, std::string> broken[] = {
        {"duration", "\"2375\""}, {"duration", "5.0"},
        {"duration", "null"},     {"processingTime", "1e3"}, {"speedUpEnabled", "0"}, {"translationEnabled", "1"},
        {"prompt", "7"},          {"modelKey", "3"},       {"duration", "9223372036854775808"},
    };
    for (const auto& [key, value] : broken) {
        EXPECT_THROW(RecordingMetadata::decode(withValue(key, value)), RecordingMetadataDecodeError)
            << key << " = " << value;
    }
    for (const char* key : {"datetime", "appVersion", "modelName", "duration", "processingTime", "recordingDevice",
                            "languageSelected", "prompt", "speedUpEnabled", "literalPunctuationEnabled",
                            "translationEnabled", "rawResult", "result"}) {
        EXPECT_THROW(RecordingMetadata::decode(withoutKey(key)), RecordingMetadataDecodeError) << key;
    }
    EXPECT_EQ(RecordingMetadata::decode(withValue("duration", "-5")).duration, -5);
    for (const char* text : {"", "[]", "\"x\"", "{", "{} trailing", "\xff"}) {
        EXPECT_THROW(RecordingMetadata::decode(text), RecordingMetadataDecodeError) << text;
    }
}

TEST(RecordingMetadata, DatetimeIsUtcWhateverTheLocalZone) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    setenv("TZ", "XYZ-2", 1);  // two hours ahead of UTC
    tzset();
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 5;
    local.tm_hour = 9;
    local.tm_min = 30;
    local.tm_isdst = 0;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(999);
    EXPECT_EQ(RecordingMetadata::formatDatetime(when), "2024-03-05T07:30:00");
    if (saved) setenv("TZ", previous.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

TEST(RecordingMetadata, WriterFillsTheDerivedFieldsAndReplacesInPlace) {
    vctest::TempHome home;
    const fs::path file = home.path() / "meta.json";
    writeRecordingMetadata(file, "medium", 1500, 20, "dev", "de", false, true, "p/q", "raw", "final", true);
    const std::string text = vctest::readFile(file);
    EXPECT_NE(text.back(), '\n');
    const auto r = RecordingMetadata::decode(text);
    EXPECT_TRUE(std::regex_match(r.datetime, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)"))) << r.datetime;
    EXPECT_FALSE(r.appVersion.empty());
    const RecordingMetadata expected{r.datetime, applicationVersion(), "medium", "Pro", 1500, 20, "dev", "de", "p/q",
                                     false, false, true, "raw", "final"};
    EXPECT_EQ(r, expected);

    // No fallback to the default model here, unlike file names.
    writeRecordingMetadata(file, "small.en", 0, 0, "", "en", false, false, "", "", "", true);
    const auto unknown = RecordingMetadata::decode(vctest::readFile(file));
    EXPECT_EQ(unknown.modelKey, "small.en");
    EXPECT_EQ(unknown.modelName, "");
}

TEST(RecordingMetadata, WritingIntoAMissingFolderFailsAndCreatesNothing) {
    vctest::TempHome home;
    const fs::path file = home.path() / "gone" / "meta.json";
    EXPECT_THROW(writeRecordingMetadata(file, "small", 0, 0, "", "en", false, false, "", "", "", true),
                 fs::filesystem_error);
    EXPECT_FALSE(fs::exists(home.path() / "gone"));

    // Nor is a record written that its reader would refuse.
    const std::string half(ReadableFile::sizeCap(ReadableFile::Kind::record) / 2, 'w');
    const fs::path record = home.path() / "meta.json";
    try {
        writeRecordingMetadata(record, "small", 0, 0, "", "en", false, false, "", half, half, true);
        ADD_FAILURE() << "written";
    } catch (const fs::filesystem_error& e) {
        EXPECT_EQ(e.code(), std::errc::file_too_large);
    }
    EXPECT_FALSE(fs::exists(record));
}
