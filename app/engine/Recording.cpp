#include "engine/Recording.h"

#include "engine/ErrorCapture.h"
#include "platform/AppLog.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string describe(const fs::filesystem_error& e) {
    std::string text = e.code().message();
    if (!e.path1().empty()) text += " (" + e.path1().string() + ")";
    return text;
}

// The whole file, or nullopt with errno set when it cannot be read (missing, unreadable, a folder).
std::optional<std::string> readWholeFile(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char chunk[16384];
    for (;;) {
        const ssize_t r = ::read(fd, chunk, sizeof chunk);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return std::nullopt;
        }
        if (r == 0) break;
        bytes.append(chunk, static_cast<std::size_t>(r));
    }
    ::close(fd);
    return bytes;
}

RecordingMetadata readMetadata(const fs::path& metaURL) {
    const auto bytes = readWholeFile(metaURL);
    if (!bytes) {
        AppLog::error("Error parsing metadata: " + std::error_code(errno, std::generic_category()).message() + " (" +
                      metaURL.string() + ")");
        return RecordingMetadata::defaultRecord();
    }
    try {
        return RecordingMetadata::decode(*bytes);
    } catch (const RecordingMetadataDecodeError& e) {
        AppLog::error(std::string("Error parsing metadata: ") + e.what());
        return RecordingMetadata::defaultRecord();
    }
}

}  // namespace

Recording::Recording(fs::path meta, fs::path audio)
    : metaURL(std::move(meta)), audioURL(std::move(audio)), id(QUuid::createUuid()), metadata(readMetadata(metaURL)) {}

fs::path recordingsDirectory() {
    const fs::path documents = Paths::documentsDirectory();
    fs::create_directories(documents);
    return documents / "vellumcaster" / "recordings";
}

std::vector<Recording> fetchRecordings() {
    std::vector<fs::path> entries;
    try {
        const fs::path root = recordingsDirectory();
        for (const fs::directory_entry& entry : fs::directory_iterator(root)) entries.push_back(entry.path());
    } catch (const fs::filesystem_error& e) {
        const std::string description = describe(e);
        AppLog::error("Error fetching recordings: " + description);
        captureSystemError(e.code(), description);
        return {};
    }
    std::sort(entries.begin(), entries.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename().string() > b.filename().string(); });

    std::vector<Recording> recordings;
    for (const fs::path& entry : entries) {
        std::error_code ec;
        const fs::path metaURL = entry / "meta.json";
        if (!fs::exists(metaURL, ec)) continue;
        const fs::path converted = entry / "output-converted.wav";
        recordings.emplace_back(metaURL, fs::exists(converted, ec) ? converted : entry / "output.wav");
    }
    return recordings;
}

fs::path makeRecordingFolder(std::int64_t unixSeconds) {
    const fs::path root = recordingsDirectory();
    fs::create_directories(root);
    for (std::int64_t second = unixSeconds;; ++second) {
        const fs::path folder = root / std::to_string(second);
        // mkdir is atomic: of two dictations saved in the same second, only one gets the name.
        if (::mkdir(folder.c_str(), 0755) == 0) return folder;
        if (errno != EEXIST) {
            throw fs::filesystem_error("Cannot create the recording folder", folder,
                                       std::error_code(errno, std::generic_category()));
        }
    }
}
