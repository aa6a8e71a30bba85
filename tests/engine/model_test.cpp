#include "engine/Model.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/AppLog.h"
#include "support/TempHome.h"

namespace fs = std::filesystem;

TEST(Model, CatalogueRowsAndDefault) {
    const auto& rows = models();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (Model{"tiny", "Fast", "20x", "lower", "77 MB", ""}));
    EXPECT_EQ(rows[1], (Model{"base", "Nano", "15x", "low", "142 MB", ""}));
    EXPECT_EQ(rows[2], (Model{"small", "Standard", "5x", "medium", "487 MB", ""}));
    EXPECT_EQ(rows[3], (Model{"medium", "Pro", "2x", "high", "1.53 GB", ""}));
    EXPECT_EQ(rows[4], (Model{"large", "Ultra", "1x", "higher", "3.09 GB", ""}));
    EXPECT_EQ(defaultModel().id, "small");
}

TEST(Model, FileNamesForEveryRowAndLanguage) {
    const std::vector<std::string> ids{"tiny", "base", "small", "medium", "large"};
    const std::vector<std::string> english{"ggml-tiny.en.bin", "ggml-base.en.bin", "ggml-small.en.bin",
                                           "ggml-medium.en.bin", "ggml-large.bin"};
    const std::vector<std::string> other{"ggml-tiny.bin", "ggml-base.bin", "ggml-small.bin", "ggml-medium.bin",
                                         "ggml-large.bin"};
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(modelFileName(ids[i], "en"), english[i]);
        EXPECT_EQ(modelFileName(ids[i], "auto"), other[i]);
        EXPECT_EQ(modelFileName(ids[i], "de"), other[i]);
    }
}

TEST(Model, UnknownKeysFallBackToSmallAndOnlyExactEnGetsEnglishFiles) {
    for (const std::string key : {"", "small.en", "Small", "xyz", "large-v3"}) {
        EXPECT_EQ(modelFileName(key, "en"), "ggml-small.en.bin") << key;
        EXPECT_EQ(modelFileName(key, "auto"), "ggml-small.bin") << key;
    }
    EXPECT_EQ(modelFileName("base", "EN"), "ggml-base.bin");
    EXPECT_EQ(modelFileName("base", "en-US"), "ggml-base.bin");
    EXPECT_EQ(modelFileName("base", ""), "ggml-base.bin");
}

TEST(Model, ModelsFolderIsCreatedAndPresenceIsAllThatCounts) {
    vctest::TempHome home;
    const fs::path folder = home.data() / "vellumcaster";
    ASSERT_FALSE(fs::exists(folder));
    EXPECT_FALSE(isModelDownloaded("small", "en"));
    EXPECT_TRUE(fs::is_directory(folder));  // created as a side effect
    EXPECT_EQ(modelsFolderURL(), folder);

    std::ofstream(folder / "ggml-small.en.bin").close();  // empty file: still counts
    EXPECT_TRUE(isModelDownloaded("small", "en"));
    EXPECT_TRUE(isModelDownloaded("small.en", "en"));
    EXPECT_FALSE(isModelDownloaded("small", "auto"));
}

TEST(Model, APlainFileInThePlaceOfTheFolderIsLeftAlone) {
    vctest::TempHome home;
    const fs::path folder = home.data() / "vellumcaster";
    std::ofstream(folder).put('x');
    std::vector<std::string> lines;
    AppLog::setSink([&](const std::string&, const std::string& message) { lines.push_back(message); });
    EXPECT_EQ(modelsFolderURL(), folder);
    EXPECT_FALSE(isModelDownloaded("small", "en"));
    AppLog::setSink({});
    EXPECT_TRUE(fs::is_regular_file(folder));
    EXPECT_TRUE(lines.empty());
}

TEST(Model, AFolderThatCannotBeCreatedIsLoggedAndStillReturned) {
    vctest::TempHome home;
    // A plain file where the application-support folder should be makes creation below it fail.
    fs::remove_all(home.data());
    std::ofstream(home.data()).put('x');
    std::vector<std::string> lines;
    AppLog::setSink([&](const std::string& category, const std::string& message) {
        lines.push_back(category + ": " + message);
    });
    const fs::path folder = modelsFolderURL();
    AppLog::setSink({});
    EXPECT_EQ(folder, home.data() / "vellumcaster");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "errors: Could not create folder at file://" + folder.string() + "/");
}

TEST(Model, RepositoryBaseUrlIsThePublicRepositoryAndCanBeOverridden) {
    unsetenv("VELLUMCASTER_MODEL_BASE_URL");
    const std::string base = modelRepositoryBaseURL();
    EXPECT_EQ(base, "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/");
    setenv("VELLUMCASTER_MODEL_BASE_URL", "http://127.0.0.1:8080/m/", 1);
    EXPECT_EQ(modelRepositoryBaseURL() + modelFileName("tiny", "en"), "http://127.0.0.1:8080/m/ggml-tiny.en.bin");
    unsetenv("VELLUMCASTER_MODEL_BASE_URL");
}

// The catalogue's sizes are rounded and mix units: every real file is within a tenth of its row's size.
TEST(Model, AFileIsAModelOnlyWithTheMagicAndTheCatalogueSize) {
    const std::string_view magic = "lmgg";
    EXPECT_EQ(modelFileProblem("ggml-tiny.en.bin", "<htm", 77704715), "The downloaded file is not a speech model file");
    EXPECT_EQ(modelFileProblem("ggml-tiny.en.bin", "lm", 2), "The downloaded file is not a speech model file");
    EXPECT_EQ(modelFileProblem("ggml-tiny.en.bin", magic, 77704715), std::nullopt);
    EXPECT_EQ(modelFileProblem("ggml-base.bin", magic, 147951465), std::nullopt);
    EXPECT_EQ(modelFileProblem("ggml-medium.bin", magic, 1533763059), std::nullopt);
    EXPECT_EQ(modelFileProblem("ggml-large.bin", magic, 3094623691), std::nullopt);
    EXPECT_EQ(modelFileProblem("ggml-small.en.bin", magic, 300000000),
              "The downloaded file has 300000000 bytes, but the Standard model has 487 MB");
    EXPECT_EQ(modelFileProblem("ggml-large.bin", magic, 10),
              "The downloaded file has 10 bytes, but the Ultra model has 3.09 GB");
    // A name the catalogue does not know is checked by its magic alone.
    EXPECT_EQ(modelFileProblem("ggml-tiny-q5_1.bin", magic, 10), std::nullopt);
}
