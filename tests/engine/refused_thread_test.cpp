// The steps that start a thread of their own, in a process held at the tasks it has (a pids control group, which
// binds root too): each fails as it fails otherwise, and the process goes on.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "engine/FileDownloader.h"
#include "engine/Model.h"
#include "platform/X11KeyPoster.h"
#include "support/PidsCgroup.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"
#include "CapturedLog.h"

namespace fs = std::filesystem;
using capturetest::CapturedLog;

namespace {

TEST(RefusedThread, APasteOrADownloadWithoutAThreadFailsAndTheProcessGoesOn) {
    vctest::TempHome home;
    const fs::path destination = modelsFolderURL() / "ggml-custom.bin";
    FileDownloader downloader;
    CapturedLog log;
    {
        vctest::PidsCgroup tasks("vellumcaster-unit-" + std::to_string(::getpid()));
        ASSERT_TRUE(tasks.usable()) << "no pids control group could be made on this machine";
        ASSERT_TRUE(tasks.add(::getpid()));
        ASSERT_TRUE(tasks.limit(tasks.current()));

        X11KeyPoster poster;
        poster.postPaste();
        // Nothing listens on port 9: a download that did start would fail too, but for another reason.
        downloader.download("http://127.0.0.1:9/ggml-custom.bin", destination);
        // At least these two (a sanitizer's runtime may ask for a thread of its own meanwhile).
        EXPECT_GE(tasks.refusals(), 2);
        ASSERT_TRUE(tasks.limit(-1));
    }
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0].rfind("Could not start the paste: ", 0), 0u) << log.lines()[0];
    EXPECT_EQ(log.lines()[1].rfind("Could not start the download of http://127.0.0.1:9/ggml-custom.bin: ", 0), 0u)
        << log.lines()[1];
    ASSERT_TRUE(vctest::waitFor([&] { return !downloader.downloadError().isEmpty(); }, 10000));
    EXPECT_EQ(downloader.downloadError().toStdString().rfind("Could not start the download: ", 0), 0u);
    EXPECT_TRUE(downloader.downloadTask()->isFinished());
    EXPECT_FALSE(fs::exists(destination));
}

}  // namespace
