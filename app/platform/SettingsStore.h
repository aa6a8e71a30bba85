#pragma once

#include <QObject>
#include <QString>

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// The user's settings: typed values under string keys, persisted as a JSON file
// ($XDG_CONFIG_HOME/vellumcaster/settings.json). An absent key is distinct from a stored false, zero or empty text;
// callers give the default at the call site. Every write replaces the file atomically. Safe from any thread;
// valueChanged is emitted on the writing thread after the write (connect with a queued connection to act on the GUI
// thread).
//
// Nothing stored is ever lost to a bad file: a file that cannot be read as a JSON object (a bad byte, a truncated
// file, a number out of range, a FIFO, a file over 1 MiB, values nested more than 32 deep or that would be written back
// larger than 1 MiB) is moved aside as settings.json.unreadable-<UTC time>, with a log line naming it, before anything
// is written; when it cannot be moved, nothing is written over it. A value of a type the store does not hold (null, an
// array, an object) reads as absent and is written back unchanged. No file larger than 1 MiB is ever written. A
// settings file that is a symbolic link is written where the link points.
class SettingsStore : public QObject {
    Q_OBJECT

public:
    using Value = std::variant<bool, double, std::string>;

    explicit SettingsStore(std::filesystem::path file, QObject* parent = nullptr);

    // The store of the running user, at its standard place, created on first use.
    static SettingsStore& standard();
    static std::filesystem::path standardFile();

    const std::filesystem::path& file() const { return file_; }

    // Whether `key` holds a value of one of the three types.
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

    // Reads the file again (values written by another process); emits valueChanged for every key that changed. An
    // unreadable file is moved aside and the values in memory stay.
    void reload();

    // What the file holds: the typed values, and the others as JSON text.
    struct Contents {
        std::map<std::string, Value> values;
        std::map<std::string, std::string> untyped;
        bool operator==(const Contents&) const = default;
    };
    // The contents of a settings file's bytes, or nothing when they are not a JSON object, are nested too deep or would
    // not fit a settings file again.
    static std::optional<Contents> decode(std::string_view bytes);
    // The file's bytes for `contents`: indented, or compact when indenting would pass the size cap; invalid UTF-8 in a
    // text is stored as U+FFFD.
    static std::string encode(const Contents& contents);

signals:
    void valueChanged(const QString& key);

private:
    // The file's contents (none for a missing file), or nothing when it was unreadable and has been moved aside.
    std::optional<Contents> readFile();
    void moveAside(const std::string& reason);
    void writeFileLocked() const;

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    Contents contents_;
    // Set when an unreadable file could not be moved aside: it is never written over.
    bool keepFile_ = false;
};
