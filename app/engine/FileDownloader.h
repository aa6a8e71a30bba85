#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
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
// A file is fetched by one download at a time, whichever downloaders ask for it: a downloader asked for a file that
// another one is fetching shows that download (its progress, its end, its task) instead of starting a second one.
//
// Destroying the downloader cancels the downloads that no other downloader shows, so whoever starts one keeps the
// downloader for as long as the download should run.
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
    // modelFileProblem). While a download into `destination` runs, none is started: this downloader shows that one,
    // as joinRunningDownload does. A running download is not cancelled by a new one; each keeps its own destination.
    void download(const std::string& urlString, const std::filesystem::path& destination);
    // Shows the download into `destination` that runs now, whichever downloader started it: its progress and its end
    // reach this downloader from now on, and downloadTask is its task (a cancel ends it for every downloader).
    // Whether such a download runs; nothing changes when none does.
    bool joinRunningDownload(const std::filesystem::path& destination);

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
    // One download and the downloaders that keep it; lives while one of them does.
    struct Transfer;

    // The downloads running now, by destination; GUI thread only.
    static std::map<std::filesystem::path, std::weak_ptr<Transfer>>& running();

    void keep(const std::shared_ptr<Transfer>& transfer);
    void show(const std::shared_ptr<Transfer>& transfer);
    void setDownloadProgress(float progress);
    void setDownloadFailed(const QString& error);

    std::chrono::seconds lowSpeedTime_ = defaultLowSpeedTime;
    float downloadProgress_ = 0.0f;
    QString downloadError_;
    std::shared_ptr<DownloadTask> downloadTask_;
    std::optional<std::filesystem::path> destinationUrl_;
    std::shared_ptr<Transfer> shown_;                   // the download this downloader speaks for
    std::vector<std::shared_ptr<Transfer>> transfers_;  // every download it keeps that may still run
};
