#include "engine/FileDownloader.h"

#include <QMetaObject>

#include <unistd.h>

#include <algorithm>

#include "engine/Model.h"

FileDownloader::FileDownloader(QObject* parent) : QObject(parent) {}

FileDownloader::~FileDownloader() {
    for (const auto& task : tasks_) task->cancel();
    tasks_.clear();  // each task waits for its thread; their last progress posts die with this object
    downloadTask_.reset();
}

void FileDownloader::download(const std::string& urlString, const std::filesystem::path& destination) {
    if (!DownloadTask::isValidURL(urlString)) return;
    destinationUrl_ = destination;
    std::erase_if(tasks_, [this](const auto& task) { return task->isFinished() && task != downloadTask_; });
    downloadError_.clear();
    // The task's thread posts each value to the GUI thread; a post that arrives after this object is gone is dropped.
    auto task = std::make_shared<DownloadTask>(
        urlString, destination,
        [this](float progress) {
            QMetaObject::invokeMethod(this, [this, progress] { setDownloadProgress(progress); },
                                      Qt::QueuedConnection);
        },
        [this, number = ++downloadNumber_](const std::string& description) {
            QMetaObject::invokeMethod(
                this,
                [this, number, error = QString::fromStdString(description)] {
                    // Only the download started last speaks for the caller.
                    if (number == downloadNumber_) setDownloadFailed(error);
                },
                Qt::QueuedConnection);
        },
        [fileName = destination.filename().string()](int fd, std::uint64_t size) {
            char head[4] = {};
            const ssize_t read = ::pread(fd, head, sizeof head, 0);
            return modelFileProblem(fileName, std::string_view(head, read > 0 ? std::size_t(read) : 0), size);
        },
        lowSpeedTime_);
    downloadTask_ = task;
    tasks_.push_back(task);
    task->resume();
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
