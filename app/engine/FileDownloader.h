#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/DownloadTask.h"

// Fetches a model file and publishes its progress for the model page and start-up. There is no completion signal:
// callers watch downloadProgress, which reaches 1.0 once the file is in place. A download that fails (no connection,
// a stall, an error status, a body that is not the model file, a file that cannot be written) publishes why in
// downloadError instead. Lives on the GUI thread; the transfer runs on the task's own thread.
//
// Destroying the downloader cancels its downloads, so whoever starts one keeps the downloader for as long as the
// download should run.
class FileDownloader : public QObject {
    Q_OBJECT
    Q_PROPERTY(float downloadProgress READ downloadProgress NOTIFY downloadProgressChanged)
    Q_PROPERTY(QString downloadError READ downloadError NOTIFY downloadFailed)

public:
    // A transfer slower than 1 KiB/s for this long fails, as a stalled one does.
    static constexpr std::chrono::seconds defaultLowSpeedTime{30};

    explicit FileDownloader(QObject* parent = nullptr);
    ~FileDownloader() override;

    std::chrono::seconds lowSpeedTime() const { return lowSpeedTime_; }
    // For the downloads started afterwards.
    void setLowSpeedTime(std::chrono::seconds time) { lowSpeedTime_ = time; }

    // Starts fetching `urlString` into `destination` (a file in the models folder); an address that is not a valid
    // http(s) URL does nothing at all. The body is placed only if it may be the model file of that name (see
    // modelFileProblem). A running download is not cancelled by a new one; each task keeps its own destination.
    void download(const std::string& urlString, const std::filesystem::path& destination);

    // Bytes received / bytes expected of the running download; 0.0 until the first bytes arrive, and again after a
    // failure (nothing of a failed download is kept).
    float downloadProgress() const { return downloadProgress_; }
    // Why the download started last failed; empty while it runs or when it succeeded.
    const QString& downloadError() const { return downloadError_; }
    // The task started last, for cancelling; null before the first download.
    std::shared_ptr<DownloadTask> downloadTask() const { return downloadTask_; }
    const std::optional<std::filesystem::path>& destinationUrl() const { return destinationUrl_; }

signals:
    void downloadProgressChanged(float progress);
    void downloadFailed(const QString& error);

private:
    void setDownloadProgress(float progress);
    void setDownloadFailed(const QString& error);

    std::chrono::seconds lowSpeedTime_ = defaultLowSpeedTime;
    float downloadProgress_ = 0.0f;
    QString downloadError_;
    std::uint64_t downloadNumber_ = 0;  // of the download started last
    std::shared_ptr<DownloadTask> downloadTask_;
    std::optional<std::filesystem::path> destinationUrl_;
    std::vector<std::shared_ptr<DownloadTask>> tasks_;  // every task that may still run
};
