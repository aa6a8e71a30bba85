// The model page's download panel against a real transfer on a loopback server: a failed or stalled download is
// shown in the panel and "Download" can be pressed again.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <thread>

#include "engine/FileDownloader.h"
#include "support/LoopbackHttpServer.h"
#include "engine/Model.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"
#include "ui/ModelConfigView.h"
#include "ui/StyledButton.h"
#include "ui/TextBlock.h"

using vctest::LoopbackHttpServer;

namespace {

class ModelDownloadTest : public testing::Test {
protected:
    ModelDownloadTest() {
        std::ofstream(modelsFolderURL() / modelFileName("small", "en")) << "model";
        page = makePage();
        page->chooseModel("tiny");
    }

    std::unique_ptr<ModelConfigView> makePage() {
        return std::make_unique<ModelConfigView>(
            Binding<bool>([this] { return navigationDisabled; }, [this](const bool& v) { navigationDisabled = v; }),
            [] {
                auto downloader = std::make_unique<FileDownloader>();
                downloader->setLowSpeedTime(lowSpeedTime);
                return downloader;
            },
            settings);
    }
    ~ModelDownloadTest() override { unsetenv("VELLUMCASTER_MODEL_BASE_URL"); }

    static void useRepository(const std::string& url) { setenv("VELLUMCASTER_MODEL_BASE_URL", url.c_str(), 1); }

    // A stall is given up after this instead of the 30 s a user's download waits.
    static constexpr std::chrono::seconds lowSpeedTime{2};

    bool failureShown() const {
        return page->downloadErrorLabel()->isVisibleTo(page.get()) && page->downloadButton()->isEnabled();
    }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster/settings.json"};
    bool navigationDisabled = false;
    std::unique_ptr<ModelConfigView> page;
};

TEST_F(ModelDownloadTest, FailedDownloadIsShownAndDownloadTriesAgain) {
    useRepository("http://127.0.0.1:9/");  // nothing listens there
    page->startModelDownload();
    EXPECT_FALSE(page->downloadButton()->isEnabled());
    ASSERT_TRUE(vctest::waitFor([this] { return failureShown(); }, 30000));
    EXPECT_TRUE(page->downloadErrorLabel()->text().startsWith("The download failed: Failed to connect to 127.0.0.1"))
        << page->downloadErrorLabel()->text().toStdString();
    EXPECT_FALSE(page->panelMessage()->isVisibleTo(page.get()));
    EXPECT_EQ(page->progressBar()->value(), 0);
    EXPECT_TRUE(page->cancelButton()->isEnabled());
    EXPECT_TRUE(navigationDisabled);  // the panel stays open

    // Once the repository answers, the same panel completes: with a file that begins as a model file does and has
    // the size of the catalogue's row.
    std::string model(77000000, '\0');
    model.replace(0, 4, "lmgg");
    LoopbackHttpServer server([&model](int socket, const vctest::HttpRequest&) {
        LoopbackHttpServer::send(socket, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(model.size()) +
                                             "\r\nConnection: close\r\n\r\n" + model);
    });
    useRepository(server.url("/"));
    page->startModelDownload();
    EXPECT_FALSE(page->downloadErrorLabel()->isVisibleTo(page.get()));
    ASSERT_TRUE(vctest::waitFor([this] { return page->doneButton()->isVisibleTo(page.get()); }, 30000));
    EXPECT_TRUE(isModelDownloaded("tiny", "en"));
    page->modelDownloadFinished();
    EXPECT_EQ(settings.storedString("activeModelKey"), "tiny");
}

TEST_F(ModelDownloadTest, ConnectionWithoutProgressForTheLowSpeedTimeFailsTheSameWay) {
    std::atomic<bool> release{false};
    LoopbackHttpServer server([&release](int socket, const vctest::HttpRequest&) {
        LoopbackHttpServer::send(socket, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n");
        LoopbackHttpServer::send(socket, std::string(100, 'x'));
        // Then nothing more, with the connection open.
        for (int i = 0; i < 900 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    });
    useRepository(server.url("/"));
    page->startModelDownload();
    ASSERT_TRUE(vctest::waitFor([this] { return page->progressBar()->value() == 100; }, 10000));
    EXPECT_FALSE(page->downloadButton()->isEnabled());

    const auto stalled = std::chrono::steady_clock::now();
    const bool failed = vctest::waitFor([this] { return failureShown(); }, 20000);
    release = true;
    ASSERT_TRUE(failed) << "a stalled download never ended";
    const auto waited = std::chrono::steady_clock::now() - stalled;
    std::cout << "stalled download failed after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(waited).count() << " ms" << std::endl;
    EXPECT_EQ(page->progressBar()->value(), 0);
    EXPECT_FALSE(isModelDownloaded("tiny", "en"));
}

// The start-up download of the default model is the page's download too: a panel opened while it runs shows its
// progress and its end without a second transfer, and a page whose panel was closed stops saying "Not downloaded" when
// it has brought the file.
TEST_F(ModelDownloadTest, StartUpDownloadIsShownByThePageToItsEnd) {
    const std::uint64_t length = 487000000;
    std::atomic<int> requests{0};
    std::atomic<bool> release{false};
    // First 1 KiB, far less than a step of the page's bar, and the rest once the test has seen the pages.
    const std::uint64_t first = 1024;
    LoopbackHttpServer server([&](int socket, const vctest::HttpRequest&) {
        ++requests;
        std::string chunk(1 << 20, '\0');
        LoopbackHttpServer::send(socket, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) +
                                             "\r\nConnection: close\r\n\r\nlmgg" + chunk.substr(4, first - 4));
        for (int i = 0; i < 3000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (std::uint64_t sent = first; sent < length; sent += chunk.size()) {
            LoopbackHttpServer::send(socket, chunk.substr(0, std::min<std::uint64_t>(chunk.size(), length - sent)));
        }
    });
    useRepository(server.url("/"));
    page.reset();
    const std::string fileName = modelFileName("small", "en");
    std::filesystem::remove(modelsFolderURL() / fileName);
    FileDownloader startUp;
    startUp.download(modelRepositoryBaseURL() + fileName, modelsFolderURL() / fileName);
    ASSERT_TRUE(vctest::waitFor([&] { return startUp.downloadProgress() > 0.0f; }));

    // The page opens its panel for the missing default model at once, with the bytes received so far shown however
    // few they are.
    page = makePage();
    ASSERT_TRUE(page->downloadPanel()->isVisibleTo(page.get()));
    EXPECT_EQ(page->fileDownloader()->downloadTask(), startUp.downloadTask());
    EXPECT_GT(page->progressBar()->value(), 0);
    EXPECT_FALSE(page->downloadButton()->isEnabled());
    page->startModelDownload();  // as a press would: it cannot start a second transfer
    page->cancelModelDownload();
    EXPECT_FALSE(startUp.downloadTask()->isCancelled());
    EXPECT_TRUE(page->missingModelNotice()->isVisibleTo(page.get()));

    const auto other = makePage();
    ASSERT_TRUE(other->downloadPanel()->isVisibleTo(other.get()));
    EXPECT_EQ(other->fileDownloader()->downloadTask(), startUp.downloadTask());
    release = true;

    ASSERT_TRUE(vctest::waitFor([&] { return other->doneButton()->isVisibleTo(other.get()); }, 60000));
    EXPECT_EQ(other->progressBar()->value(), 1000);
    EXPECT_TRUE(vctest::waitFor([this] { return !page->missingModelNotice()->isVisibleTo(page.get()); }));
    EXPECT_EQ(startUp.downloadProgress(), 1.0f);
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(isModelDownloaded("small", "en"));
}

}  // namespace
