#include "engine/FileDownloader.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <unistd.h>

#include <algorithm>
#include <functional>

#include "engine/Model.h"

struct FileDownloader::Transfer {
    std::filesystem::path destination;
    std::shared_ptr<DownloadTask> task;
    float progress = 0.0f;
    bool ended = false;  // the file was placed, or the download failed
    std::vector<FileDownloader*> keepers;

    ~Transfer() {
        // Nobody waits for the file any more.
        task->cancel();
        auto& downloads = running();
        if (const auto it = downloads.find(destination); it != downloads.end() && it->second.expired()) {
            downloads.erase(it);
        }
    }

    bool isRunning() const { return !ended && !task->isCancelled() && !task->isFinished(); }

    // Tells the downloaders that speak for this download; one of them may be destroyed by what it is told.
    void tell(const std::function<void(FileDownloader&)>& news) {
        std::vector<QPointer<FileDownloader>> listeners;
        for (FileDownloader* keeper : keepers) {
            if (keeper->shown_.get() == this) listeners.emplace_back(keeper);
        }
        for (const auto& listener : listeners) {
            if (listener) news(*listener);
        }
    }

    void publishProgress(float value) {
        progress = value;
        if (value >= 1.0f) ended = true;
        tell([value](FileDownloader& downloader) { downloader.setDownloadProgress(value); });
    }

    void publishFailure(const QString& error) {
        ended = true;
        progress = 0.0f;
        tell([&error](FileDownloader& downloader) { downloader.setDownloadFailed(error); });
    }
};

FileDownloader::FileDownloader(QObject* parent) : QObject(parent) {}

FileDownloader::~FileDownloader() {
    for (const auto& transfer : transfers_) std::erase(transfer->keepers, this);
    shown_.reset();
    downloadTask_.reset();
    // A download that no other downloader keeps is cancelled here, and its thread waited for.
    transfers_.clear();
}

std::map<std::filesystem::path, std::weak_ptr<FileDownloader::Transfer>>& FileDownloader::running() {
    // Never destroyed: a downloader that outlives the statics still finds it.
    static auto* downloads = new std::map<std::filesystem::path, std::weak_ptr<Transfer>>;
    return *downloads;
}

void FileDownloader::download(const std::string& urlString, const std::filesystem::path& destination) {
    if (!DownloadTask::isValidURL(urlString)) return;
    if (joinRunningDownload(destination)) return;
    destinationUrl_ = destination;
    std::erase_if(transfers_, [this](const std::shared_ptr<Transfer>& transfer) {
        if (transfer->isRunning() || transfer == shown_) return false;
        std::erase(transfer->keepers, this);
        return true;
    });
    downloadError_.clear();
    auto transfer = std::make_shared<Transfer>();
    transfer->destination = destination;
    // The task's thread posts each event to the GUI thread; one that arrives after every downloader let the download
    // go is dropped.
    const auto post = [weak = std::weak_ptr<Transfer>(transfer)](std::function<void(Transfer&)> work) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, work = std::move(work)] {
                if (const auto alive = weak.lock()) work(*alive);
            },
            Qt::QueuedConnection);
    };
    transfer->task = std::make_shared<DownloadTask>(
        urlString, destination,
        [post](float progress) { post([progress](Transfer& t) { t.publishProgress(progress); }); },
        [post](const std::string& description) {
            post([error = QString::fromStdString(description)](Transfer& t) { t.publishFailure(error); });
        },
        [fileName = destination.filename().string()](int fd, std::uint64_t size) {
            char head[4] = {};
            const ssize_t read = ::pread(fd, head, sizeof head, 0);
            return modelFileProblem(fileName, std::string_view(head, read > 0 ? std::size_t(read) : 0), size);
        },
        lowSpeedTime_);
    running()[destination] = transfer;
    keep(transfer);
    show(transfer);
    transfer->task->resume();
}

bool FileDownloader::joinRunningDownload(const std::filesystem::path& destination) {
    const auto found = running().find(destination);
    if (found == running().end()) return false;
    const std::shared_ptr<Transfer> transfer = found->second.lock();
    if (!transfer || !transfer->isRunning()) return false;
    destinationUrl_ = destination;
    keep(transfer);
    show(transfer);
    downloadError_.clear();
    setDownloadProgress(transfer->progress);
    return true;
}

void FileDownloader::keep(const std::shared_ptr<Transfer>& transfer) {
    if (std::find(transfers_.begin(), transfers_.end(), transfer) != transfers_.end()) return;
    transfers_.push_back(transfer);
    transfer->keepers.push_back(this);
}

void FileDownloader::show(const std::shared_ptr<Transfer>& transfer) {
    shown_ = transfer;
    downloadTask_ = transfer->task;
}

void FileDownloader::setDownloadProgress(float progress) {
    if (progress == downloadProgress_) return;
    downloadProgress_ = progress;
    emit downloadProgressChanged(progress);
}

void FileDownloader::setDownloadFailed(const QString& error) {
    downloadError_ = error;
    setDownloadProgress(0.0f);
    emit downloadFailed(error);
}
