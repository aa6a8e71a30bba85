#include "platform/SettingsStore.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "platform/AppLog.h"
#include "platform/FileIO.h"
#include "platform/Paths.h"

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

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path file, QObject* parent)
    : QObject(parent), file_(std::move(file)), values_(readFile()) {}

std::filesystem::path SettingsStore::standardFile() {
    return Paths::configDirectory() / "vellumcaster" / "settings.json";
}

SettingsStore& SettingsStore::standard() {
    static SettingsStore* store = new SettingsStore(standardFile());
    return *store;
}

std::map<std::string, SettingsStore::Value> SettingsStore::readFile() const {
    std::map<std::string, Value> result;
    std::ifstream in(file_, std::ios::binary);
    if (!in) return result;
    std::stringstream text;
    text << in.rdbuf();
    const auto json = nlohmann::json::parse(text.str(), nullptr, false);
    if (!json.is_object()) {
        AppLog::error("Settings file " + file_.string() + " is not a JSON object; using defaults");
        return result;
    }
    for (const auto& [key, value] : json.items()) {
        if (auto v = fromJson(value)) result.emplace(key, std::move(*v));
    }
    return result;
}

void SettingsStore::writeFileLocked() const {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [key, value] : values_) json[key] = toJson(value);
    // Invalid UTF-8 in a stored text would make dump() throw and lose the write; store it with U+FFFD instead.
    const std::string text = json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";

    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    try {
        FileIO::writeAtomically(file_, text, 0600);
    } catch (const std::filesystem::filesystem_error&) {
        AppLog::error("Could not write settings file " + file_.string());
    }
}

bool SettingsStore::contains(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return values_.count(key) != 0;
}

std::optional<SettingsStore::Value> SettingsStore::value(const std::string& key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
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
        auto it = values_.find(key);
        if (it != values_.end() && it->second == value) return;
        values_[key] = std::move(value);
        writeFileLocked();
    }
    emit valueChanged(QString::fromStdString(key));
}

void SettingsStore::remove(const std::string& key) {
    {
        std::lock_guard lock(mutex_);
        if (values_.erase(key) == 0) return;
        writeFileLocked();
    }
    emit valueChanged(QString::fromStdString(key));
}

void SettingsStore::reload() {
    std::vector<std::string> changed;
    {
        std::lock_guard lock(mutex_);
        auto fresh = readFile();
        for (const auto& [key, value] : fresh) {
            auto it = values_.find(key);
            if (it == values_.end() || it->second != value) changed.push_back(key);
        }
        for (const auto& [key, value] : values_) {
            if (!fresh.count(key)) changed.push_back(key);
        }
        values_ = std::move(fresh);
    }
    for (const auto& key : changed) emit valueChanged(QString::fromStdString(key));
}
