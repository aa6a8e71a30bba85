#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "engine/FileDownloader.h"
#include "engine/Model.h"
#include "support/TempHome.h"
#include "CapturedLog.h"
#include "support/LoopbackHttpServer.h"
#include "support/ReadFile.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;
using capturetest::CapturedLog;
using vctest::LoopbackHttpServer;

namespace {

// A body that begins as a model file does.
std::string body(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = char('a' + i % 26);
    return bytes.replace(0, std::min<std::size_t>(size, 4), std::string_view("lmgg").substr(0, size));
}

std::string okHead(std::size_t length) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: close\r\n\r\n";
}

class FileDownloaderTest : public testing::Test {
protected:
    vctest::TempHome home;
    fs::path folder = modelsFolderURL();
    // A model file the catalogue does not know, so that any size will do.
    fs::path destination = folder / "ggml-custom.bin";
    FileDownloader downloader;
    std::vector<float> published;

    FileDownloaderTest() {
        QObject::connect(&downloader, &FileDownloader::downloadProgressChanged,
                         [this](float progress) { published.push_back(progress); });
    }

    // Whether the download started last ended in time; what it posted on its way has arrived.
    bool finished() {
        const bool ended = vctest::waitFor(
            [this] { return downloader.downloadTask() && downloader.downloadTask()->isFinished(); }, 20000);
        QCoreApplication::processEvents();
        return ended;
    }

    std::vector<std::string> folderContents() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        return names;
    }
};

TEST_F(FileDownloaderTest, KnownLengthEndsAtExactlyOneWithTheFileInPlace) {
    const std::string bytes = body(100);
    LoopbackHttpServer server([&](int socket, const vctest::HttpRequest&) {
        LoopbackHttpServer::send(socket, okHead(bytes.size()) + bytes);
    });
    downloader.download(server.url("/ggml-tiny.bin"), destination);
    EXPECT_EQ(downloader.destinationUrl(), destination);
    ASSERT_TRUE(finished());
    ASSERT_TRUE(vctest::waitFor([&] { return downloader.downloadProgress() == 1.0f; }, 20000));
    EXPECT_EQ(vctest::readFile(destination), bytes);
    EXPECT_EQ(folderContents(), std::vector<std::string>{"ggml-custom.bin"});
    ASSERT_FALSE(published.empty());
    EXPECT_EQ(published.back(), 1.0f);
    for (std::size_t i = 1; i < published.size(); ++i) EXPECT_GT(published[i], published[i - 1]);
}

TEST_F(FileDownloaderTest, RedirectIsFollowed) {
    const std::string bytes = body(300);
    LoopbackHttpServer server([&](int socket, const vctest::HttpRequest& request) {
        if (request.path == "/resolve/ggml-tiny.bin") {
            LoopbackHttpServer::send(socket, "HTTP/1.1 302 Found\r\nLocation: /storage/blob\r\nContent-Length: 0\r\n"
                                             "Connection: close\r\n\r\n");
        } else {
            LoopbackHttpServer::send(socket, okHead(bytes.size()) + bytes);
        }
    });
    downloader.download(server.url("/resolve/ggml-tiny.bin"), destination);
    ASSERT_TRUE(finished());
    EXPECT_EQ(vctest::readFile(destination), bytes);
}

TEST_F(FileDownloaderTest, UnknownLengthPublishesNoRatioAndEndsAtOne) {
    const std::string bytes = body(5000);
    LoopbackHttpServer server([&](int socket, const vctest::HttpRequest&) {
        // No length: the body comes in chunks, the last of which marks its end.
        LoopbackHttpServer::send(socket, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                                         "bb8\r\n" + bytes.substr(0, 3000) + "\r\n7d0\r\n" + bytes.substr(3000) +
                                         "\r\n0\r\n\r\n");
    });
    downloader.download(server.url("/m.bin"), destination);
    ASSERT_TRUE(finished());
    ASSERT_TRUE(vctest::waitFor([&] { return downloader.downloadProgress() == 1.0f; }, 20000));
    EXPECT_EQ(published, std::vector<float>{1.0f});
    EXPECT_EQ(vctest::readFile(destination), bytes);
}

TEST_F(FileDownloaderTest, ErrorStatusCutConnectionAndCancelLeaveNoFileAndTheFailuresSayWhy) {
    std::vector<QString> failures;
    QObject::connect(&downloader, &FileDownloader::downloadFailed,
                     [&failures](const QString& error) { failures.push_back(error); });
    CapturedLog log;
    {
        LoopbackHttpServer server([](int socket, const vctest::HttpRequest&) {
            LoopbackHttpServer::send(socket, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\n"
                                             "Not Found");
        });
        downloader.download(server.url("/missing.bin"), destination);
        ASSERT_TRUE(finished());
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0].rfind("Error downloading file: ", 0), 0u) << log.lines()[0];
        ASSERT_TRUE(vctest::waitFor([&] { return failures.size() == 1; }, 20000));
        EXPECT_EQ(downloader.downloadError(), "The server answered with the HTTP status 404");
    }
    {
        LoopbackHttpServer server([](int socket, const vctest::HttpRequest&) {
            LoopbackHttpServer::send(socket, okHead(1000) + body(300));  // then the connection drops
        });
        downloader.download(server.url("/cut.bin"), destination);
        EXPECT_TRUE(downloader.downloadError().isEmpty());  // a new download starts without the old failure
        ASSERT_TRUE(finished());
        ASSERT_TRUE(vctest::waitFor([&] { return failures.size() == 2; }, 20000));
        EXPECT_FALSE(downloader.downloadError().isEmpty());
    }
    EXPECT_EQ(downloader.downloadProgress(), 0.0f);  // nothing of a failed download is kept
    {
        std::atomic<bool> sent{false};
        std::atomic<bool> release{false};
        LoopbackHttpServer server([&](int socket, const vctest::HttpRequest&) {
            LoopbackHttpServer::send(socket, okHead(1000000) + body(1000));
            sent = true;
            // Stalls until the test is done with it.
            for (int i = 0; i < 1000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        });
        downloader.download(server.url("/slow.bin"), destination);
        const float partial = float(1000) / float(1000000);
        ASSERT_TRUE(vctest::waitFor([&] { return sent && downloader.downloadProgress() == partial; }, 20000));
        downloader.downloadTask()->cancel();
        ASSERT_TRUE(finished());
        EXPECT_EQ(downloader.downloadProgress(), partial);
        release = true;
    }
    EXPECT_EQ(log.lines().size(), 1u);  // neither the cut nor the cancel is logged as an error
    QCoreApplication::processEvents();
    EXPECT_EQ(failures.size(), 2u);  // a cancel is no failure
    EXPECT_TRUE(folderContents().empty());
}

TEST_F(FileDownloaderTest, OnlyAWholeNonEmptyBodyIsInstalled) {
    const std::vector<std::string> answers = {
        "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n",
        okHead(0),
        // No length and no chunks: the close that ends this body could as well be a cut.
        "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body(5000),
        // Chunks that stop before the last one.
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n1000\r\n" + body(4096) + "\r\n",
    };
    for (const std::string& answer : answers) {
        CapturedLog log;
        LoopbackHttpServer server([&](int socket, const vctest::HttpRequest&) { LoopbackHttpServer::send(socket, answer); });
        downloader.download(server.url("/ggml-tiny.bin"), destination);
        ASSERT_TRUE(finished());
        EXPECT_TRUE(folderContents().empty()) << answer.substr(0, 40);
        EXPECT_LT(downloader.downloadProgress(), 1.0f);
        if (answer.find("chunked") == std::string::npos) {
            ASSERT_EQ(log.lines().size(), 1u) << answer.substr(0, 40);
            EXPECT_EQ(log.lines()[0].rfind("Error downloading file: ", 0), 0u) << log.lines()[0];
        }
    }
}

TEST_F(FileDownloaderTest, ABodyLargerThanTheFreeSpaceIsRefusedBeforeWriting) {
    std::atomic<bool> release{false};
    LoopbackHttpServer server([&](int socket, const vctest::HttpRequest&) {
        LoopbackHttpServer::send(socket, okHead(std::size_t(1) << 60) + body(65536));
        for (int i = 0; i < 2000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    CapturedLog log;
    downloader.download(server.url("/ggml-large.bin"), destination);
    EXPECT_TRUE(finished());
    release = true;
    EXPECT_TRUE(folderContents().empty());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Error saving file: ", 0), 0u) << log.lines()[0];
    EXPECT_NE(log.lines()[0].find("does not fit"), std::string::npos) << log.lines()[0];
}

// A server that sends less than 1 KiB/s for the low-speed time (30 s unless set) is given up, as a stalled one is.
TEST_F(FileDownloaderTest, ADrippingServerFailsAfterTheLowSpeedTime) {
    EXPECT_EQ(downloader.lowSpeedTime(), std::chrono::seconds(30));
    downloader.setLowSpeedTime(std::chrono::seconds(1));
    LoopbackHttpServer server([&](int socket, const vctest::HttpRequest&) {
        LoopbackHttpServer::send(socket, okHead(1000000));
        for (int i = 0; i < 9000 && !server.stopping(); ++i) {
            LoopbackHttpServer::send(socket, body(50));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    downloader.download(server.url("/ggml-tiny.bin"), destination);
    EXPECT_TRUE(vctest::waitFor([this] { return downloader.downloadTask()->isFinished(); }, 20000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(folderContents().empty());
    if (!downloader.downloadTask()->isFinished()) downloader.downloadTask()->cancel();
}

// A captive portal's page, or a model file cut by the server itself (a whole body by its length), is no model.
TEST_F(FileDownloaderTest, AWholeBodyThatIsNotTheModelIsNotInstalled) {
    const std::string portal = "<html><body>Sign in first</body></html>";
    const std::vector<std::string> answers = {okHead(portal.size()) + portal, okHead(10) + body(10)};
    destination = folder / modelFileName("small", "en");
    std::vector<QString> failures;
    QObject::connect(&downloader, &FileDownloader::downloadFailed,
                     [&failures](const QString& error) { failures.push_back(error); });
    for (const std::string& answer : answers) {
        CapturedLog log;
        LoopbackHttpServer server(
            [&](int socket, const vctest::HttpRequest&) { LoopbackHttpServer::send(socket, answer); });
        downloader.download(server.url("/ggml-small.en.bin"), destination);
        ASSERT_TRUE(finished());
        EXPECT_TRUE(folderContents().empty());
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0].rfind("Error downloading file: ", 0), 0u) << log.lines()[0];
    }
    ASSERT_TRUE(vctest::waitFor([&] { return failures.size() == 2; }, 20000));
    EXPECT_EQ(failures[0], "The downloaded file is not a speech model file");
    EXPECT_EQ(failures[1], "The downloaded file has 10 bytes, but the Standard model has 487 MB");
    EXPECT_FALSE(isModelDownloaded("small", "en"));
}

// Whoever watches for 1.0 (the panel's "Done", the page's "Not downloaded") finds the file in place: a whole body that
// the check then refuses never shows 1.0, and one that is placed shows it only once it is there.
TEST_F(FileDownloaderTest, AWatcherThatSeesOneFindsTheFileInPlace) {
    std::vector<std::string> foundAtOne;  // what the destination held each time 1.0 was published
    QObject::connect(&downloader, &FileDownloader::downloadProgressChanged, [&](float progress) {
        if (progress == 1.0f) foundAtOne.push_back(fs::exists(destination) ? vctest::readFile(destination) : "no file");
    });
    const std::string portal = "<html><body>Sign in first</body></html>";
    const std::string model = body(100);
    for (const std::string& sent : {portal, model}) {
        CapturedLog log;  // the refused body's error line
        LoopbackHttpServer server([&](int socket, const vctest::HttpRequest&) {
            LoopbackHttpServer::send(socket, okHead(sent.size()) + sent);
        });
        downloader.download(server.url("/ggml-custom.bin"), destination);
        ASSERT_TRUE(finished());
    }
    EXPECT_EQ(foundAtOne, std::vector<std::string>{model});
}

TEST_F(FileDownloaderTest, ExistingFileIsNeverReplaced) {
    std::ofstream(destination) << "the model already here";
    LoopbackHttpServer server([](int socket, const vctest::HttpRequest&) {
        LoopbackHttpServer::send(socket, okHead(100) + body(100));
    });
    CapturedLog log;
    downloader.download(server.url("/ggml-tiny.bin"), destination);
    ASSERT_TRUE(finished());
    EXPECT_EQ(vctest::readFile(destination), "the model already here");
    EXPECT_EQ(folderContents(), std::vector<std::string>{"ggml-custom.bin"});
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("Error saving file: ", 0), 0u) << log.lines()[0];
}

// One transfer per file: the downloaders asked for a file being fetched show that download, and one of them going
// away does not end it for the others.
TEST_F(FileDownloaderTest, DownloadersOfAFileBeingFetchedShowThatDownload) {
    const std::string bytes = body(1000);
    std::atomic<int> requests{0};
    std::atomic<bool> release{false};
    LoopbackHttpServer server([&](int socket, const vctest::HttpRequest&) {
        ++requests;
        LoopbackHttpServer::send(socket, okHead(bytes.size()) + bytes.substr(0, 100));
        for (int i = 0; i < 2000 && !release; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        LoopbackHttpServer::send(socket, bytes.substr(100));
    });
    downloader.download(server.url("/m.bin"), destination);
    ASSERT_TRUE(vctest::waitFor([&] { return downloader.downloadProgress() > 0.0f; }, 20000));
    {
        FileDownloader second;
        second.download(server.url("/m.bin"), destination);
        EXPECT_EQ(second.downloadTask(), downloader.downloadTask());
        EXPECT_EQ(second.downloadProgress(), downloader.downloadProgress());
    }
    FileDownloader third;
    EXPECT_TRUE(third.joinRunningDownload(destination));
    EXPECT_FALSE(third.joinRunningDownload(folder / "ggml-other.bin"));
    release = true;
    ASSERT_TRUE(vctest::waitFor([&] { return third.downloadProgress() == 1.0f; }, 20000));
    EXPECT_EQ(downloader.downloadProgress(), 1.0f);
    EXPECT_EQ(vctest::readFile(destination), bytes);
    EXPECT_EQ(requests, 1);
    EXPECT_FALSE(third.joinRunningDownload(destination));  // it has ended
}

TEST_F(FileDownloaderTest, AddressThatIsNotAnHttpUrlDoesNothing) {
    downloader.download("not a url", destination);
    downloader.download("file:///etc/hostname", destination);
    EXPECT_EQ(downloader.downloadTask(), nullptr);
    EXPECT_EQ(downloader.destinationUrl(), std::nullopt);
}

}  // namespace
