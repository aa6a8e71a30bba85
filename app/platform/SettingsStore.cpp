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
    const auto json = nlohmann::json::parse(bytes, nullptr, false);
    if (!json.is_object()) return std::nullopt;
    Contents contents;
    for (const auto& [key, value] : json.items()) {
        if (auto v = fromJson(value)) {
            contents.values.emplace(key, std::move(*v));
        } else {
            contents.untyped.emplace(key, value.dump());
        }
    }
    return contents;
}

std::string SettingsStore::encode(const Contents& contents) {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [key, text] : contents.untyped) json[key] = nlohmann::json::parse(text, nullptr, false);
    for (const auto& [key, value] : contents.values) json[key] = toJson(value);
    // Invalid UTF-8 in a stored text would make dump() throw and lose the write; store it with U+FFFD instead.
    return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
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
        moveAside("not a JSON object");
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
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    try {
        FileIO::writeAtomically(file_, encode(contents_), 0600);
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
