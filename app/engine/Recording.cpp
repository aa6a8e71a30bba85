#include "engine/Recording.h"

#include "engine/ErrorCapture.h"
#include "engine/WavFile.h"
#include "platform/AppLog.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string describe(const fs::filesystem_error& e) {
    std::string text = e.code().message();
    if (!e.path1().empty()) text += " (" + e.path1().string() + ")";
    return text;
}

RecordingMetadata readMetadata(const fs::path& metaURL) {
    try {
        return RecordingMetadata::decode(FileIO::read(metaURL, ReadableFile::Kind::record));
    } catch (const fs::filesystem_error& e) {
        AppLog::error("Error parsing metadata: " + describe(e));
    } catch (const RecordingMetadataDecodeError& e) {
        AppLog::error(std::string("Error parsing metadata: ") + e.what());
    }
    return RecordingMetadata::defaultRecord();
}

// The folders of makeHeldRecordingFolder not yet released. The lock is held across the making of such a folder, so a
// listing that has seen the folder finds it here. Never destroyed: a listing still running on another thread when
// main returns reads it.
struct HeldFolders {
    std::mutex mutex;
    std::set<fs::path> folders;  // guarded by mutex
};

HeldFolders& heldFolders() {
    static auto* const held = new HeldFolders;
    return *held;
}

fs::path makeFolder(std::int64_t unixSeconds, bool held) {
    const fs::path root = recordingsDirectory();
    fs::create_directories(root);
    for (std::int64_t second = unixSeconds;; ++second) {
        const fs::path folder = root / std::to_string(second);
        std::unique_lock lock(heldFolders().mutex, std::defer_lock);
        if (held) lock.lock();
        // mkdir is atomic: of two dictations saved in the same second, only one gets the name.
        if (::mkdir(folder.c_str(), 0755) == 0) {
            if (held) heldFolders().folders.insert(folder);
            return folder;
        }
        if (errno != EEXIST) {
            throw fs::filesystem_error("Cannot create the recording folder", folder,
                                       std::error_code(errno, std::generic_category()));
        }
    }
}

// The moment a folder's name gives (the Unix second its audio was saved); "" for any other name.
std::string datetimeOfFolder(const fs::path& folder) {
    const std::string name = folder.filename().string();
    std::int64_t seconds = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), seconds);
    if (error != std::errc() || end != name.data() + name.size() || name.empty() || name[0] == '-') return {};
    const auto latest = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::duration::max());
    if (seconds > latest.count()) return {};
    return RecordingMetadata::formatDatetime(std::chrono::system_clock::time_point(std::chrono::seconds(seconds)));
}

}  // namespace

Recording::Recording(fs::path meta, fs::path audio)
    : metaURL(std::move(meta)), audioURL(std::move(audio)), id(QUuid::createUuid()), metadata(readMetadata(metaURL)) {}

Recording Recording::withoutRecord(fs::path metaURL, fs::path audioURL) {
    RecordingMetadata record = RecordingMetadata::defaultRecord();
    record.datetime = datetimeOfFolder(metaURL.parent_path());
    record.duration = wavDurationMilliseconds(audioURL);
    record.recognitionFinished = false;
    return Recording(std::move(metaURL), std::move(audioURL), std::move(record));
}

Recording::Recording(fs::path meta, fs::path audio, RecordingMetadata record)
    : metaURL(std::move(meta)), audioURL(std::move(audio)), id(QUuid::createUuid()), metadata(std::move(record)) {}

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
    // Taken after the listing and before the records are looked for: a held folder listed above is in it, and one
    // released since has its record.
    std::set<fs::path> held;
    {
        std::lock_guard lock(heldFolders().mutex);
        held = heldFolders().folders;
    }

    std::vector<Recording> recordings;
    for (const fs::path& entry : entries) {
        std::error_code ec;
        const fs::path metaURL = entry / "meta.json";
        const fs::path converted = entry / "output-converted.wav";
        const fs::path audioURL = fs::exists(converted, ec) ? converted : entry / "output.wav";
        if (fs::exists(metaURL, ec)) {
            recordings.emplace_back(metaURL, audioURL);
        } else if (!held.count(entry) && fs::exists(audioURL, ec)) {
            // Audio without a record: what was recorded and not recognized is shown as such, never hidden.
            recordings.push_back(Recording::withoutRecord(metaURL, audioURL));
        }
    }
    return recordings;
}

fs::path makeRecordingFolder(std::int64_t unixSeconds) { return makeFolder(unixSeconds, false); }

fs::path makeHeldRecordingFolder(std::int64_t unixSeconds) { return makeFolder(unixSeconds, true); }

void releaseRecordingFolder(const fs::path& folder) {
    std::lock_guard lock(heldFolders().mutex);
    heldFolders().folders.erase(folder);
}
