#pragma once

#include <QObject>
#include <QString>

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

// The user's settings: typed values under string keys, persisted as a JSON file
// ($XDG_CONFIG_HOME/vellumcaster/settings.json). An absent key is distinct from a stored false, zero or empty text;
// callers give the default at the call site. Every write replaces the file atomically. Safe from any thread;
// valueChanged is emitted on the writing thread after the write (connect with a queued connection to act on the GUI
// thread).
class SettingsStore : public QObject {
    Q_OBJECT

public:
    using Value = std::variant<bool, double, std::string>;

    explicit SettingsStore(std::filesystem::path file, QObject* parent = nullptr);

    // The store of the running user, at its standard place, created on first use.
    static SettingsStore& standard();
    static std::filesystem::path standardFile();

    const std::filesystem::path& file() const { return file_; }

    bool contains(const std::string& key) const;
    std::optional<Value> value(const std::string& key) const;
    std::optional<bool> storedBool(const std::string& key) const;
    std::optional<double> storedNumber(const std::string& key) const;
    std::optional<std::string> storedString(const std::string& key) const;

    // The stored value, or `fallback` when the key is absent or holds another type.
    bool boolValue(const std::string& key, bool fallback) const;
    double numberValue(const std::string& key, double fallback) const;
    std::string stringValue(const std::string& key, const std::string& fallback) const;

    void setValue(const std::string& key, Value value);
    void setBool(const std::string& key, bool value) { setValue(key, value); }
    void setNumber(const std::string& key, double value) { setValue(key, value); }
    void setString(const std::string& key, std::string value) { setValue(key, std::move(value)); }
    void remove(const std::string& key);

    // Reads the file again (values written by another process); emits valueChanged for every key that changed.
    void reload();

signals:
    void valueChanged(const QString& key);

private:
    std::map<std::string, Value> readFile() const;
    void writeFileLocked() const;

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::map<std::string, Value> values_;
};
