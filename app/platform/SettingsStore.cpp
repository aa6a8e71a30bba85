#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <ctime>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>
#include <vector>

#include "platform/AppLog.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"
#include "platform/Prompt.h"

namespace fs = std::filesystem;

namespace {

nlohmann::json toJson(const SettingsStore::Value& v) {
    return std::visit([](const auto& x) { return nlohmann::json(x); }, v);
}

std::optional<SettingsStore::Value> fromJson(const nlohmann::json& j) {
    if (j.is_boolean()) return j.get<bool>();
    if (j.is_number()) return j.get<double>();
    if (j.is_string()) return j.get<std::string>();
    return std::nullopt;
}

// Settings are flat; a value nested deeper than this is no setting of this application. Without a bound a crafted file
// exhausts the stack where a kept value is printed, and indenting it takes the file past any size.
constexpr int maxDepth = 32;

std::uint64_t settingsSizeCap() { return ReadableFile::sizeCap(ReadableFile::Kind::settings); }

constexpr const char* promptKey = "activePrompt";

// The keys this application stores. Whatever else a file holds must leave them SettingsStore::ownRoom bytes, so that
// no change the application makes in a run is refused for want of room, and a file it wrote is read again.
const std::set<std::string, std::less<>> ownKeys = {
    "activeModelKey", "activePrompt", "autoPasteEnabled", "closeRecordingViewEnabled", "enableLiteralPunctuation",
    "enableSoundEffects", "enableTranslation", "errorLoggingEnabled", "hasLaunchedBefore", "launchOnLogin",
    "realtimeResultsEnabled", "recordingViewEnabled", "selectedDeviceID", "selectedLanguage", "selectedModifierKey",
    "selectedPrimaryKey", "soundEffectVolume", "useDefaultAudioDevice",
};

// Why `contents` would not be read again from a file, or nothing when it would.
std::optional<std::string> roomProblem(const SettingsStore::Contents& contents) {
    SettingsStore::Contents own, others;
    for (const auto& [key, value] : contents.values) (ownKeys.count(key) ? own : others).values.emplace(key, value);
    for (const auto& [key, text] : contents.untyped) (ownKeys.count(key) ? own : others).untyped.emplace(key, text);
    const std::uint64_t ownSize = SettingsStore::encode(own).size();
    const std::uint64_t othersSize = SettingsStore::encode(others).size();
    const std::uint64_t room = SettingsStore::ownRoom;
    if (ownSize > room) {
        return "this application's settings would take " + std::to_string(ownSize) + " bytes, more than the " +
               std::to_string(room) + " kept for them";
    }
    if (othersSize + room > settingsSizeCap()) {
        return "the other settings would take " + std::to_string(othersSize) + " bytes, leaving less than " +
               std::to_string(room) + " of the " + std::to_string(settingsSizeCap()) +
               " a settings file may have for this application's settings";
    }
    return std::nullopt;
}

// The file that `file` names once symbolic links are followed: a settings file linked from elsewhere (a dotfiles
// repository) is written there, so that the link stays a link.
fs::path followLinks(fs::path file) {
    std::error_code ec;
    for (int hops = 0; hops < 40 && fs::is_symlink(file, ec); ++hops) {
        const fs::path target = fs::read_symlink(file, ec);
        if (ec) break;
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    return file;
}

// "20240305T140709Z"
std::string utcStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

}  // namespace

SettingsStore::SettingsStore(fs::path file, QObject* parent) : QObject(parent), file_(std::move(file)) {
    if (auto contents = readFile()) contents_ = std::move(*contents);
}

fs::path SettingsStore::standardFile() {
    return Paths::configDirectory() / "vellumcaster" / "settings.json";
}

SettingsStore& SettingsStore::standard() {
    static SettingsStore* store = new SettingsStore(standardFile());
    return *store;
}

std::optional<SettingsStore::Contents> SettingsStore::decode(std::string_view bytes, std::size_t* promptCut) {
    bool tooDeep = false;
    // Parsing itself does not recurse; a value that goes too deep is dropped as it is read, and the file refused.
    const auto json = nlohmann::json::parse(
        bytes,
        [&tooDeep](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
            if (depth > maxDepth) tooDeep = true;
            return !tooDeep;
        },
        false);
    if (tooDeep || !json.is_object()) return std::nullopt;
    Contents contents;
    for (const auto& [key, value] : json.items()) {
        if (auto v = fromJson(value)) {
            contents.values.emplace(key, std::move(*v));
        } else {
            contents.untyped.emplace(key, value.dump());
        }
    }
    if (promptCut) *promptCut = 0;
    if (auto it = contents.values.find(promptKey); it != contents.values.end()) {
        if (auto* prompt = std::get_if<std::string>(&it->second)) {
            // A prompt stored before it had a bound: kept as the prompt field shows it, so that it leaves room for
            // the other settings instead of taking them along.
            std::string kept = Prompt::bounded(*prompt);
            if (promptCut && kept.size() < prompt->size()) {
                // In characters as the field counts them (UTF-16 units).
                *promptCut = std::size_t(QString::fromStdString(*prompt).size() - QString::fromStdString(kept).size());
            }
            *prompt = std::move(kept);
        }
    }
    // What is kept must fit a file again, with room for this application's settings: numbers and texts may be written
    // longer than they were read.
    if (roomProblem(contents)) return std::nullopt;
    return contents;
}

std::string SettingsStore::encode(const Contents& contents) {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [key, text] : contents.untyped) json[key] = nlohmann::json::parse(text, nullptr, false);
    for (const auto& [key, value] : contents.values) json[key] = toJson(value);
    // Invalid UTF-8 in a stored text would make dump() throw and lose the write; store it with U+FFFD instead.
    const auto dump = [&json](int indent) {
        return json.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    };
    // Indented for whoever reads it, unless the indentation alone would take the file past its cap.
    std::string text = dump(2);
    if (text.size() > settingsSizeCap()) text = dump(-1);
    return text;
}

std::optional<SettingsStore::Contents> SettingsStore::readFile() {
    std::string bytes;
    try {
        bytes = FileIO::read(file_, ReadableFile::Kind::settings);
    } catch (const fs::filesystem_error& e) {
        if (e.code() == std::errc::no_such_file_or_directory) {
            keepFile_ = false;
            return Contents{};
        }
        moveAside(e.code().message());
        return std::nullopt;
    }
    std::size_t promptCut = 0;
    auto contents = decode(bytes, &promptCut);
    if (!contents) {
        moveAside("not a JSON object, nested deeper than " + std::to_string(maxDepth) + " levels, or too large to be " +
                  "written back with room for this application's settings (" + std::to_string(settingsSizeCap()) +
                  " bytes at most, " + std::to_string(ownRoom) + " of them kept for its own)");
        return std::nullopt;
    }
    if (promptCut > 0) {
        AppLog::error("Settings file " + file_.string() + ": the prompt (" + promptKey + ") was longer than the " +
                      std::to_string(Prompt::maxLength) + " characters a prompt may have; cut its first " +
                      std::to_string(promptCut) + " characters and kept the other settings");
    }
    keepFile_ = false;
    return contents;
}

void SettingsStore::moveAside(const std::string& reason) {
    const std::string base = file_.string() + ".unreadable-" + utcStamp();
    std::string aside = base;
    int error = 0;
    for (int n = 2; n < 100; ++n) {
        // Never over an earlier one: two bad files in one second keep both.
        if (::renameat2(AT_FDCWD, file_.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            AppLog::error("Settings file " + file_.string() + " could not be read (" + reason + "); moved it to " +
                          aside);
            return;
        }
        error = errno;
        if (error != EEXIST) break;
        aside = base + "-" + std::to_string(n);
    }
    if (error == ENOENT) return;  // gone meanwhile: nothing left to keep
    keepFile_ = true;
    AppLog::error("Settings file " + file_.string() + " could not be read (" + reason + ") nor moved aside (" +
                  std::generic_category().message(error) + "); it is left as it is and not written over");
}

void SettingsStore::writeFile() {
    std::lock_guard writing(writeMutex_);
    Contents newest;
    {
        std::lock_guard lock(mutex_);
        if (generation_ == written_) return;  // a later write took these changes along
        newest = contents_;
        written_ = generation_;
    }
    if (keepFile_) return;
    // A file that is refused at the next start takes every setting with it.
    if (const auto problem = roomProblem(newest)) {
        AppLog::error("Could not write settings file " + file_.string() + ": " + *problem);
        return;
    }
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    try {
        FileIO::writeAtomically(followLinks(file_), encode(newest), 0600);
    } catch (const fs::filesystem_error&) {
        AppLog::error("Could not write settings file " + file_.string());
    }
}

bool SettingsStore::contains(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return contents_.values.count(key) != 0;
}

std::optional<SettingsStore::Value> SettingsStore::value(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = contents_.values.find(key);
    if (it == contents_.values.end()) return std::nullopt;
    return it->second;
}

namespace {
template <class T>
std::optional<T> as(const std::optional<SettingsStore::Value>& v) {
    if (v && std::holds_alternative<T>(*v)) return std::get<T>(*v);
    return std::nullopt;
}
}  // namespace

std::optional<bool> SettingsStore::storedBool(const std::string& key) const { return as<bool>(value(key)); }
std::optional<double> SettingsStore::storedNumber(const std::string& key) const { return as<double>(value(key)); }
std::optional<std::string> SettingsStore::storedString(const std::string& key) const {
    return as<std::string>(value(key));
}

bool SettingsStore::boolValue(const std::string& key, bool fallback) const {
    return storedBool(key).value_or(fallback);
}
double SettingsStore::numberValue(const std::string& key, double fallback) const {
    return storedNumber(key).value_or(fallback);
}
std::string SettingsStore::stringValue(const std::string& key, const std::string& fallback) const {
    return storedString(key).value_or(fallback);
}

void SettingsStore::setValue(const std::string& key, Value value) {
    {
        std::lock_guard lock(mutex_);
        auto it = contents_.values.find(key);
        if (it != contents_.values.end() && it->second == value) return;
        contents_.values[key] = std::move(value);
        contents_.untyped.erase(key);
        ++generation_;
    }
    writeFile();
    emit valueChanged(QString::fromStdString(key));
}

void SettingsStore::remove(const std::string& key) {
    {
        std::lock_guard lock(mutex_);
        if (contents_.values.erase(key) + contents_.untyped.erase(key) == 0) return;
        ++generation_;
    }
    writeFile();
    emit valueChanged(QString::fromStdString(key));
}

void SettingsStore::reload() {
    std::vector<std::string> changed;
    {
        std::lock_guard writing(writeMutex_);
        std::optional<Contents> read = readFile();
        if (!read) return;
        Contents fresh = std::move(*read);
        std::lock_guard lock(mutex_);
        for (const auto& [key, value] : fresh.values) {
            auto it = contents_.values.find(key);
            if (it == contents_.values.end() || it->second != value) changed.push_back(key);
        }
        for (const auto& [key, value] : contents_.values) {
            if (!fresh.values.count(key)) changed.push_back(key);
        }
        contents_ = std::move(fresh);
        written_ = ++generation_;  // what the file holds
    }
    for (const auto& key : changed) emit valueChanged(QString::fromStdString(key));
}
