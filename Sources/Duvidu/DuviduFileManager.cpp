#include "Duvidu/DuviduFileManager.h"

#include <openssl/evp.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <set>

#include "Duvidu/DuviduCacheDirectory.h"
#include "Duvidu/DuviduDateExtras.h"
#include "Duvidu/DuviduError.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSerialization.h"

namespace fs = std::filesystem;

namespace duvidu {

namespace {

std::string sha1Hex(const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha1(), nullptr);
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 0x0F];
    }
    return hex;
}

// Names that a writer is still filling (hidden temporary files) are not envelopes.
bool isEnvelopeName(const std::string& name)
{
    return !name.empty() && name[0] != '.';
}

// The envelope files that this process sent, or found unsendable, and could not delete, whichever file manager did:
// sending them again would only repeat the same answer.
std::mutex& passedOverMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::set<std::string>& passedOverPaths()
{
    static std::set<std::string> paths;
    return paths;
}

// Gives a file its other name, replacing an older file of that name; nothing when the file is not there.
void moveState(const std::string& from, const std::string& to)
{
    std::error_code ec;
    if (!fs::exists(from, ec)) return;
    fs::rename(from, to, ec);
    if (ec) DUVIDU_LOG_ERROR("Could not move " + from + " to " + to + ": " + ec.message());
}

// An envelope read back from a file, or nullptr when the file does not hold one whole envelope: a file cut short by
// a crash or a full disk reads as the items before the cut, and sending that would pass damaged data on as sound.
std::shared_ptr<DuviduEnvelope> wholeEnvelope(const DuviduData& bytes)
{
    size_t readLength = 0;
    auto envelope = DuviduSerialization::envelopeWithData(bytes.data(), bytes.size(), &readLength);
    if (!envelope) return nullptr;
    const bool whole = readLength == bytes.size() || (readLength + 1 == bytes.size() && bytes.back() == '\n');
    return whole ? envelope : nullptr;
}

// The envelope of a claimed file; nullptr, with the reason in problem, when the file does not hold one.
std::shared_ptr<DuviduEnvelope> claimedEnvelope(const DuviduFileLock& claim, std::string& problem)
{
    DuviduData bytes;
    if (duvidu_readOpenFileChecked(claim.descriptor(), kDuviduEnvelopeFileLimit, bytes, &problem) !=
        DuviduFileReadOutcome::Read)
        return nullptr;
    auto envelope = wholeEnvelope(bytes);
    if (!envelope) problem = "it does not hold one whole envelope";
    return envelope;
}

// Deletes the hidden files that a writer killed while writing left behind (see duvidu_writeFileAtomically): those
// whose writer no longer holds them and that are old enough that their writer cannot be about to take them.
void deleteAbandonedTemporaryFiles(const std::string& folder, DuviduDate now)
{
    const auto minimumAge = std::chrono::duration_cast<std::chrono::system_clock::duration>(
        std::chrono::duration<double>(DuviduFileManager::kAbandonedTemporaryFileAgeSeconds));
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (isEnvelopeName(entry.path().filename().string()) || !entry.is_regular_file(ec)) continue;
        const auto written = entry.last_write_time(ec);
        if (ec || now - std::chrono::file_clock::to_sys(written) < minimumAge) continue;
        if (!DuviduFileLock::acquire(entry.path().string())) continue;  // still being written
        DUVIDU_LOG_DEBUG("Deleting the abandoned temporary file " + entry.path().string());
        fs::remove(entry.path(), ec);
    }
}

}  // namespace

std::shared_ptr<DuviduFileManager> DuviduFileManager::initWithOptions(
    const DuviduOptions& options, std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider,
    std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper, NSError* error)
{
    std::shared_ptr<DuviduFileManager> manager(new DuviduFileManager());
    manager->currentDateProvider_ = std::move(currentDateProvider);
    manager->dispatchQueueWrapper_ = std::move(dispatchQueueWrapper);

    // Without a DSN nothing is sent, but stored files still need a folder that no DSN shares.
    const std::string dsnText = options.parsedDsn() ? options.parsedDsn()->url() : "";
    const std::string path = duvidu_cacheDirectory() + "/" + sha1Hex(dsnText);
    manager->duviduPath_ = path;
    manager->envelopesPath_ = path + "/envelopes";
    manager->currentSessionFilePath_ = path + "/session.current";
    manager->crashedSessionFilePath_ = path + "/session.crashed";
    manager->appStateFilePath_ = path + "/app.state";
    manager->previousAppStateFilePath_ = path + "/previous.app.state";
    manager->timestampLastInForegroundFilePath_ = path + "/lastInForeground.timestamp";
    manager->breadcrumbsFilePathOne_ = path + "/breadcrumbs.1.state";
    manager->breadcrumbsFilePathTwo_ = path + "/breadcrumbs.2.state";
    manager->previousBreadcrumbsFilePathOne_ = path + "/previous.breadcrumbs.1.state";
    manager->previousBreadcrumbsFilePathTwo_ = path + "/previous.breadcrumbs.2.state";

    std::error_code ec;
    fs::remove_all(path + "/events", ec);
    for (const auto& folder : {manager->duviduPath_, manager->envelopesPath_}) {
        ec.clear();
        fs::create_directories(folder, ec);
        if (ec || !fs::is_directory(folder)) {
            const std::string reason = ec ? ec.message() : "not a folder";
            DUVIDU_LOG_ERROR("Failed to create the folder " + folder + ": " + reason);
            if (error) *error = errorWithCode(DuviduError::FileIO, "Could not create the folder " + folder + ": " + reason);
            return nullptr;
        }
    }
    manager->maxEnvelopes_ = options.maxCacheItems;
    return manager;
}

void DuviduFileManager::setDelegate(std::weak_ptr<DuviduFileManagerDelegate> delegate)
{
    std::lock_guard lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

void DuviduFileManager::deleteOldEnvelopeItems()
{
    dispatchQueueWrapper_->dispatchAsyncWithBlock([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self) return;
        const auto now = self->currentDateProvider_->date();
        const auto maxAge = std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(kMaxEnvelopeAgeSeconds));
        std::lock_guard lock(self->envelopesMutex_);
        for (const auto& folder : {self->envelopesPath_, self->duviduPath_}) deleteAbandonedTemporaryFiles(folder, now);
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(self->envelopesPath_, ec)) {
            auto written = entry.last_write_time(ec);
            if (ec) continue;
            auto writtenDate = std::chrono::file_clock::to_sys(written);
            if (now - writtenDate > maxAge) {
                DUVIDU_LOG_DEBUG("Deleting envelope file older than 90 days: " + entry.path().string());
                fs::remove(entry.path(), ec);
            }
        }
    });
}

std::string DuviduFileManager::storeEnvelope(const DuviduEnvelope& envelope)
{
    auto data = DuviduSerialization::dataWithEnvelope(envelope);
    if (!data) {
        DUVIDU_LOG_ERROR("Could not serialize the envelope; it is not stored.");
        return "";
    }
    if (data->size() > kDuviduEnvelopeFileLimit) {
        DUVIDU_LOG_ERROR("The envelope of " + std::to_string(data->size()) + " bytes is larger than the cache takes (" +
                         std::to_string(kDuviduEnvelopeFileLimit) + " bytes); it is not stored.");
        return "";
    }
    const auto sinceEpoch = currentDateProvider_->date().time_since_epoch();
    const auto& id = envelope.header().eventId();

    std::vector<std::shared_ptr<DuviduEnvelope>> deleted;
    std::string path;
    {
        std::lock_guard lock(envelopesMutex_);
        // A clock set back must not give the new file a name that sorts before the files already there: the cache
        // limit would then delete the newest envelopes first.
        const int64_t now =
            std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count());
        const int64_t newest = newestMicrosLocked();
        const int64_t micros = now >= newest ? now : newest + 1;
        char name[96];
        std::snprintf(name, sizeof name, "%020" PRId64 "-%010" PRIu64 "-%s.envelope", micros,
                      currentFileCounter_.fetch_add(1), (id ? *id : DuviduId()).duviduIdString().c_str());
        path = envelopesPath_ + "/" + name;
        std::string errorText;
        if (!duvidu_writeFileAtomically(path, *data, &errorText)) {
            DUVIDU_LOG_ERROR("Failed to store the envelope at " + path + ": " + errorText);
            return "";
        }
        DUVIDU_LOG_DEBUG("Stored the envelope at " + path);
        deleted = applyCacheLimitLocked();
    }
    tellDelegate(deleted);
    return path;
}

void DuviduFileManager::tellDelegate(const std::vector<std::shared_ptr<DuviduEnvelope>>& deleted)
{
    std::shared_ptr<DuviduFileManagerDelegate> delegate;
    {
        std::lock_guard lock(delegateMutex_);
        delegate = delegate_.lock();
    }
    if (delegate) {
        for (const auto& envelope : deleted) delegate->envelopeDeleted(*envelope);
    }
}

std::vector<std::shared_ptr<DuviduEnvelope>> DuviduFileManager::applyCacheLimitLocked(const DuviduFileContents* released)
{
    std::vector<std::shared_ptr<DuviduEnvelope>> deleted;
    const auto paths = envelopePathsLocked();
    for (size_t i = 0; paths.size() - i > maxEnvelopes_; ++i) {
        std::optional<DuviduFileLock> claim;
        std::shared_ptr<DuviduEnvelope> envelope;
        if (released && paths[i] == released->path) {
            envelope = released->envelope;
        } else {
            // Claimed by a sender (which applies the limit when it lets go, unless it delivered the file), or gone.
            claim = DuviduFileLock::acquire(paths[i]);
            if (!claim) continue;
            std::string problem;
            envelope = claimedEnvelope(*claim, problem);
        }
        DUVIDU_LOG_DEBUG("Cache is full; deleting the oldest envelope " + paths[i]);
        std::error_code ec;
        if (fs::remove(paths[i], ec) && envelope) deleted.push_back(std::move(envelope));
    }
    return deleted;
}

int64_t DuviduFileManager::newestMicrosLocked() const
{
    const auto paths = envelopePathsLocked();
    if (paths.empty()) return -1;
    const std::string name = fs::path(paths.back()).filename().string();
    int64_t micros = -1;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), micros);
    return error == std::errc() && end != name.data() && *end == '-' ? micros : -1;
}

std::vector<std::string> DuviduFileManager::envelopePaths() const
{
    std::lock_guard lock(envelopesMutex_);
    return envelopePathsLocked();
}

std::vector<std::string> DuviduFileManager::envelopePathsLocked() const
{
    std::vector<std::string> paths;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(envelopesPath_, ec)) {
        if (isEnvelopeName(entry.path().filename().string()) && entry.is_regular_file(ec))
            paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::optional<DuviduFileContents> DuviduFileManager::getOldestEnvelope()
{
    std::lock_guard lock(envelopesMutex_);
    for (const auto& path : envelopePathsLocked()) {
        {
            std::lock_guard passedOverLock(passedOverMutex());
            if (passedOverPaths().count(path)) continue;
        }
        auto claim = DuviduFileLock::acquire(path);
        if (!claim) continue;  // being sent, gone meanwhile, or not ours to read
        std::string problem;
        if (auto envelope = claimedEnvelope(*claim, problem))
            return DuviduFileContents{path, std::move(envelope), std::move(*claim)};
        DUVIDU_LOG_ERROR("Deleting the unreadable envelope file " + path + ": " + problem);
        std::error_code ec;
        fs::remove(path, ec);
    }
    return std::nullopt;
}

void DuviduFileManager::removeFileAtPath(const std::string& path)
{
    std::lock_guard lock(envelopesMutex_);
    std::error_code ec;
    if (fs::remove(path, ec) || !ec) return;
    DUVIDU_LOG_ERROR("Could not delete " + path + ": " + ec.message() + "; this process does not send it again.");
    std::lock_guard passedOverLock(passedOverMutex());
    passedOverPaths().insert(path);
}

void DuviduFileManager::releaseClaim(DuviduFileContents& contents)
{
    std::vector<std::shared_ptr<DuviduEnvelope>> deleted;
    {
        // A cache limit that ran while the file was claimed left it here: whether it goes is decided now, with the
        // claim still held.
        std::lock_guard lock(envelopesMutex_);
        deleted = applyCacheLimitLocked(&contents);
        contents.claim.release();
    }
    tellDelegate(deleted);
}

void DuviduFileManager::storeSession(const DuviduSession& session, const std::string& path)
{
    auto data = DuviduSerialization::dataWithSession(session);
    std::string errorText;
    if (!data) return;
    if (!duvidu_writeFileAtomically(path, *data, &errorText))
        DUVIDU_LOG_ERROR("Failed to store the session at " + path + ": " + errorText);
}

std::shared_ptr<DuviduSession> DuviduFileManager::readSession(const std::string& path)
{
    auto bytes = duvidu_readOwnFile(path, kDuviduStateFileLimit);
    return bytes ? DuviduSerialization::sessionWithData(*bytes) : nullptr;
}

void DuviduFileManager::storeCurrentSession(const DuviduSession& session)
{
    storeSession(session, currentSessionFilePath_);
}

std::shared_ptr<DuviduSession> DuviduFileManager::readCurrentSession()
{
    return readSession(currentSessionFilePath_);
}

void DuviduFileManager::deleteCurrentSession()
{
    std::error_code ec;
    fs::remove(currentSessionFilePath_, ec);
}

void DuviduFileManager::storeCrashedSession(const DuviduSession& session)
{
    storeSession(session, crashedSessionFilePath_);
}

std::shared_ptr<DuviduSession> DuviduFileManager::readCrashedSession()
{
    return readSession(crashedSessionFilePath_);
}

void DuviduFileManager::deleteCrashedSession()
{
    std::error_code ec;
    fs::remove(crashedSessionFilePath_, ec);
}

void DuviduFileManager::storeAppState(const DuviduAppState& appState)
{
    auto data = DuviduSerialization::dataWithJSONObject(Value(appState.serialize()));
    std::string errorText;
    if (!data) return;
    if (!duvidu_writeFileAtomically(appStateFilePath_, *data, &errorText))
        DUVIDU_LOG_ERROR("Failed to store the app state at " + appStateFilePath_ + ": " + errorText);
}

std::shared_ptr<DuviduAppState> DuviduFileManager::readAppState()
{
    auto bytes = duvidu_readOwnFile(appStateFilePath_, kDuviduStateFileLimit);
    return bytes ? DuviduSerialization::appStateWithData(*bytes) : nullptr;
}

void DuviduFileManager::storeTimestampLastInForeground(DuviduDate timestamp)
{
    std::string errorText;
    if (!duvidu_writeFileAtomically(timestampLastInForegroundFilePath_,
                                    dataFromString(duvidu_toIso8601String(timestamp)), &errorText))
        DUVIDU_LOG_ERROR("Failed to store the timestamp at " + timestampLastInForegroundFilePath_ + ": " + errorText);
}

std::optional<DuviduDate> DuviduFileManager::readTimestampLastInForeground()
{
    auto bytes = duvidu_readOwnFile(timestampLastInForegroundFilePath_, kDuviduStateFileLimit);
    return bytes ? duvidu_fromIso8601String(std::string(bytes->begin(), bytes->end())) : std::nullopt;
}

void DuviduFileManager::deleteTimestampLastInForeground()
{
    std::error_code ec;
    fs::remove(timestampLastInForegroundFilePath_, ec);
}

void DuviduFileManager::moveAppStateToPreviousAppState()
{
    moveState(appStateFilePath_, previousAppStateFilePath_);
}

void DuviduFileManager::moveBreadcrumbsToPreviousBreadcrumbs()
{
    moveState(breadcrumbsFilePathOne_, previousBreadcrumbsFilePathOne_);
    moveState(breadcrumbsFilePathTwo_, previousBreadcrumbsFilePathTwo_);
}

}  // namespace duvidu
