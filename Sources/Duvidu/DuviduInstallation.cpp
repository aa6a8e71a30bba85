#include "Duvidu/DuviduInstallation.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>

#include "Duvidu/DuviduCacheDirectory.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduId.h"
#include "Duvidu/DuviduUTF8.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashBinaryImage.h"

namespace duvidu {

namespace {

// Set once and never freed, so that readers need no lock.
std::atomic<const std::string*> g_id{nullptr};

std::mutex& installationMutex()
{
    static std::mutex mutex;
    return mutex;
}

// A file that is not a regular one of a few KiB is deleted (and a new id made in its place).
std::optional<std::string> readFile(const std::string& path)
{
    auto bytes = duvidu_readOwnFile(path, kDuviduStateFileLimit);
    return bytes ? std::optional<std::string>(std::string(bytes->begin(), bytes->end())) : std::nullopt;
}

// A new id in its standard text form: 36 upper-case characters, dashes at 8-4-4-4-12.
std::string newId()
{
    char text[37];
    convertBinaryImageUUID(DuviduId().uuid().data(), text);
    return text;
}

// Writes the id under a temporary name and links it into place, so that a reader never sees half of it and, when
// another process made its own id at the same time, the first one stays. Returns the id the file holds afterwards:
// this one, or the other process's when that one can be read; nullopt when nothing could be written.
std::optional<std::string> storeId(const std::string& folder, const std::string& path, const std::string& id)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::string temporary = path + "." + std::to_string(getpid()) + ".tmp";
    int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) return std::nullopt;
    bool written = duvidu_writeAll(file, id.data(), id.size());
    written = close(file) == 0 && written;
    std::optional<std::string> stored;
    if (written && link(temporary.c_str(), path.c_str()) == 0) {
        stored = id;
    } else if (written && errno == EEXIST) {
        // Another process was first, or the file is there but could not be read: that one is replaced.
        stored = readFile(path);
        if (!stored && rename(temporary.c_str(), path.c_str()) == 0) stored = id;
    }
    unlink(temporary.c_str());
    return stored;
}

}  // namespace

std::optional<std::string> DuviduInstallation::id()
{
    if (const std::string* cached = g_id.load(std::memory_order_acquire)) return *cached;
    std::lock_guard lock(installationMutex());
    if (const std::string* cached = g_id.load(std::memory_order_acquire)) return *cached;

    const std::string folder = duvidu_cacheDirectory();
    const std::string path = folder + "/INSTALLATION";
    std::optional<std::string> content = readFile(path);
    if (!content) {
        std::string made = newId();
        // A failed write leaves the id to this process alone; the next process makes another.
        content = storeId(folder, path, made).value_or(made);
    }
    if (!duvidu_isValidUTF8(*content)) return std::nullopt;
    g_id.store(new std::string(*content), std::memory_order_release);
    return *content;
}

}  // namespace duvidu
