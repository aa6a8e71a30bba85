#include "engine/DownloadTask.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <mutex>

#include "Duvidu/DuviduSDK.h"
#include "Duvidu/NSError.h"
#include "platform/AppLog.h"
#include "platform/FileIO.h"

namespace fs = std::filesystem;

namespace {

void initializeCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A transfer slower than this many bytes per second for the low-speed time (a dripping or stalled server) fails.
constexpr long lowSpeedLimit = 1024;

// The body on its way to disk, and the progress of the transfer.
struct Transfer {
    CURL* curl = nullptr;
    FILE* file = nullptr;
    int writeErrno = 0;
    std::string writeFailure;  // what failed, when writeErrno is set
    curl_off_t receivedBytes = 0;
    curl_off_t publishedBytes = 0;
    const std::atomic<bool>* cancelled = nullptr;
    const DownloadTask::ProgressHandler* onProgress = nullptr;
};

// Whether the file system holding `file` has room for the announced body; fails the transfer with ENOSPC otherwise.
bool roomForBody(Transfer& transfer) {
    curl_off_t length = -1;
    curl_easy_getinfo(transfer.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    struct statvfs disk {};
    if (length <= 0 || fstatvfs(fileno(transfer.file), &disk) != 0) return true;
    const auto available = std::uint64_t(disk.f_bavail) * disk.f_frsize;
    if (std::uint64_t(length) <= available) return true;
    transfer.writeErrno = ENOSPC;
    transfer.writeFailure = "The download of " + std::to_string(length) + " bytes does not fit the " +
                            std::to_string(available) + " bytes free";
    return false;
}

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    if (*transfer->cancelled) return 0;
    // Checked before the first byte is written: a download that cannot fit never fills the disk.
    if (transfer->receivedBytes == 0 && !roomForBody(*transfer)) return 0;
    const size_t bytes = size * count;
    if (std::fwrite(data, 1, bytes, transfer->file) != bytes) {
        transfer->writeErrno = errno ? errno : EIO;
        transfer->writeFailure = "Could not write the download";
        return 0;
    }
    transfer->receivedBytes += curl_off_t(bytes);
    return bytes;
}

// Whether the response said where its body ends: a length, chunked framing, or HTTP/2 and later, which frame every
// body. Without any, the body ends where the connection closes, and a cut-off transfer looks just like a whole one.
bool bodyEndIsKnown(CURL* curl) {
    curl_off_t length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length >= 0) return true;
    long version = 0;
    curl_easy_getinfo(curl, CURLINFO_HTTP_VERSION, &version);
    if (version != CURL_HTTP_VERSION_1_0 && version != CURL_HTTP_VERSION_1_1) return true;
    curl_header* encoding = nullptr;
    if (curl_easy_header(curl, "Transfer-Encoding", 0, CURLH_HEADER, -1, &encoding) != CURLHE_OK) return false;
    for (const char* p = encoding->value; *p; ++p) {
        if (strncasecmp(p, "chunked", 7) == 0) return true;
    }
    return false;
}

int reportProgress(void* user, curl_off_t expected, curl_off_t received, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    if (*transfer->cancelled) return 1;
    // An unknown length is reported as 0: no ratio until the end then.
    if (expected > 0 && received != transfer->publishedBytes) {
        transfer->publishedBytes = received;
        // Below 1.0 until the file is in place, even once every byte has arrived (or a float rounds up to 1.0).
        const float ratio = std::min(float(received) / float(expected), std::nextafter(1.0f, 0.0f));
        if (*transfer->onProgress) (*transfer->onProgress)(ratio);
    }
    return 0;
}

// A file failure as the platform would describe it, reported and logged under `prefix`; its description.
std::string reportFileError(const std::string& prefix, int error, const std::string& what) {
    const std::string description = what + ": " + std::strerror(error);
    const duvidu::NSError nsError("NSPOSIXErrorDomain", error,
                                  duvidu::Value::Object{{duvidu::NSLocalizedDescriptionKey, description}});
    duvidu::DuviduSDK::captureError(nsError);
    AppLog::error(prefix + nsError.description());
    return description;
}

// A response that is not the file, reported and logged; `code` is the platform's URL error code ("bad server response"
// -1011, "zero byte resource" -1014).
void reportServerError(std::int64_t code, const std::string& text) {
    const duvidu::NSError nsError("NSURLErrorDomain", code,
                                  duvidu::Value::Object{{duvidu::NSLocalizedDescriptionKey, text}});
    duvidu::DuviduSDK::captureError(nsError);
    AppLog::error("Error downloading file: " + nsError.description());
}

// Where the body is written: an unnamed file in the destination's folder where the file system offers one (nothing
// is left behind even if the process dies), else a hidden named one.
struct TempFile {
    int fd = -1;
    fs::path path;  // empty for an unnamed file
};

TempFile openTempFile(const fs::path& destination) {
    const fs::path folder = destination.parent_path();
    // Readable too, for the caller's check of the whole body.
    if (const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644); fd >= 0) return {fd, {}};
    TempFile temp;
    temp.fd = FileIO::createTempBeside(destination, 0644, temp.path);  // a model file, not a secret
    return temp;
}

// Gives the finished body its name unless something already exists there; errno on failure.
int placeWithoutReplacing(const TempFile& temp, const fs::path& to) {
    if (temp.path.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(temp.fd);
        return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    }
    if (renameat2(AT_FDCWD, temp.path.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the flag: a hard link fails just the same on an existing name.
    if (link(temp.path.c_str(), to.c_str()) != 0) return errno;
    unlink(temp.path.c_str());
    return 0;
}

}  // namespace

DownloadTask::DownloadTask(std::string url, fs::path destination, ProgressHandler onProgress, FailureHandler onFailure,
                           BodyCheck check, std::chrono::seconds lowSpeedTime)
    : url_(std::move(url)),
      destination_(std::move(destination)),
      onProgress_(std::move(onProgress)),
      onFailure_(std::move(onFailure)),
      check_(std::move(check)),
      lowSpeedTime_(lowSpeedTime) {}

DownloadTask::~DownloadTask() {
    if (thread_.joinable()) thread_.join();
}

bool DownloadTask::isValidURL(const std::string& url) {
    CURLU* handle = curl_url();
    if (!handle) return false;
    bool valid = false;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        if (curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK) {
            valid = std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0;
            curl_free(scheme);
        }
    }
    curl_url_cleanup(handle);
    return valid;
}

void DownloadTask::fail(const std::string& description) const {
    if (onFailure_) onFailure_(description);
}

void DownloadTask::resume() {
    if (thread_.joinable() || finished_) return;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::exception& e) {
        // The system refused the thread (or the memory for it): the download fails like any other.
        AppLog::error(std::string("Could not start the download of ") + url_ + ": " + e.what());
        fail(std::string("Could not start the download: ") + e.what());
        finished_ = true;
    }
}

void DownloadTask::run() {
    initializeCurl();
    const TempFile temp = openTempFile(destination_);
    if (temp.fd < 0) {
        const int error = errno;
        fail(reportFileError("Error saving file: ", error,
                             "Could not create a file in " + destination_.parent_path().string()));
        finished_ = true;
        return;
    }
    Transfer transfer;
    transfer.file = fdopen(temp.fd, "wb");
    transfer.cancelled = &cancelled_;
    transfer.onProgress = &onProgress_;
    if (!transfer.file) {
        fail(std::string("Could not write the download: ") + std::strerror(errno));
        close(temp.fd);
        if (!temp.path.empty()) unlink(temp.path.c_str());
        finished_ = true;
        return;
    }

    CURLcode result = CURLE_FAILED_INIT;
    long status = 0;
    char curlError[CURL_ERROR_SIZE] = "";
    bool endKnown = false;
    if (CURL* curl = curl_easy_init()) {
        transfer.curl = curl;
        curl_easy_setopt(curl, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);  // model hosts redirect to their storage
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);  // an error page is never taken for the file
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
        // A connection that stalls or drips is given up like a cut one.
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, lowSpeedLimit);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(lowSpeedTime_.count()));
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, curlError);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &writeBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &reportProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
        result = curl_easy_perform(curl);
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        endKnown = bodyEndIsKnown(curl);
        curl_easy_cleanup(curl);
    }
    if (result == CURLE_OK && std::fflush(transfer.file) != 0) {
        transfer.writeErrno = errno ? errno : EIO;
        transfer.writeFailure = "Could not write the download";
    }

    if (cancelled_) {
        // Cancelled: nothing to report.
    } else if (transfer.writeErrno != 0) {
        fail(reportFileError("Error saving file: ", transfer.writeErrno, transfer.writeFailure + " of " + url_));
    } else if (result == CURLE_HTTP_RETURNED_ERROR || (result == CURLE_OK && (status < 200 || status > 299))) {
        reportServerError(-1011, "The server answered " + url_ + " with the HTTP status " + std::to_string(status));
        fail("The server answered with the HTTP status " + std::to_string(status));
    } else if (result == CURLE_OK && transfer.receivedBytes == 0) {
        // A 204, or any other empty body: no model file is ever empty.
        reportServerError(-1014, "The server sent no data for " + url_ + " (HTTP status " + std::to_string(status) +
                                     ")");
        fail("The server sent no data (HTTP status " + std::to_string(status) + ")");
    } else if (result == CURLE_OK && !endKnown) {
        reportServerError(-1011, "The server sent " + url_ + " without its length, so a cut-off transfer could not be "
                                 "told from a whole one");
        fail("The server sent the file without its length, so a cut-off transfer could not be told from a whole one");
    } else if (result == CURLE_OK) {
        if (const auto problem = check_(temp.fd, std::uint64_t(transfer.receivedBytes))) {
            // A whole body that is not the file: a captive portal's page, or a server that cut the file itself.
            reportServerError(-1011, "The server sent " + url_ + ", which is not the file asked for: " + *problem);
            fail(*problem);
        } else if (const int error = placeWithoutReplacing(temp, destination_)) {
            fail(reportFileError("Error saving file: ", error,
                                 "Could not move the download to " + destination_.string()));
        } else if (onProgress_) {
            onProgress_(1.0f);  // also ends a download whose length was never known
        }
    } else {
        // No connection, a cut body, a stall: not reported as an error of the application, but the user is told.
        const std::string reason = curlError[0] ? curlError : curl_easy_strerror(result);
        AppLog::info("Could not download " + url_ + ": " + reason);
        fail(reason);
    }
    std::fclose(transfer.file);
    if (!temp.path.empty()) unlink(temp.path.c_str());  // gone already once placed
    finished_ = true;
}
