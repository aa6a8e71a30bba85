#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <ctime>
#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

#include "platform/AppLog.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"

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

std::optional<SettingsStore::Contents> SettingsStore::decode(std::string_view bytes) {
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
    // What is kept must fit a file again: numbers and texts may be written longer than they were read.
    if (encode(contents).size() > settingsSizeCap()) return std::nullopt;
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
    auto contents = decode(bytes);
    if (!contents) {
        moveAside("not a JSON object, or nested deeper than " + std::to_string(maxDepth) + " levels, or over " +
                  std::to_string(settingsSizeCap()) + " bytes once written back");
        return std::nullopt;
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

void SettingsStore::writeFileLocked() const {
    if (keepFile_) return;
    const std::string bytes = encode(contents_);
    // A larger file would be refused at the next start, and every setting with it.
    if (bytes.size() > settingsSizeCap()) {
        AppLog::error("Could not write settings file " + file_.string() + ": the settings would take " +
                      std::to_string(bytes.size()) + " bytes, more than the " + std::to_string(settingsSizeCap()) +
                      " a settings file may have");
        return;
    }
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    try {
        FileIO::writeAtomically(followLinks(file_), bytes, 0600);
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
        writeFileLocked();
    }
    emit valueChanged(QString::fromStdString(key));
}

void SettingsStore::remove(const std::string& key) {
    {
        std::lock_guard lock(mutex_);
        if (contents_.values.erase(key) + contents_.untyped.erase(key) == 0) return;
        writeFileLocked();
    }
    emit valueChanged(QString::fromStdString(key));
}

void SettingsStore::reload() {
    std::vector<std::string> changed;
    {
        std::lock_guard lock(mutex_);
        std::optional<Contents> read = readFile();
        if (!read) return;
        Contents fresh = std::move(*read);
        for (const auto& [key, value] : fresh.values) {
            auto it = contents_.values.find(key);
            if (it == contents_.values.end() || it->second != value) changed.push_back(key);
        }
        for (const auto& [key, value] : contents_.values) {
            if (!fresh.values.count(key)) changed.push_back(key);
        }
        contents_ = std::move(fresh);
    }
    for (const auto& key : changed) emit valueChanged(QString::fromStdString(key));
}
