#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
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
// thread). The audio capture thread reads settings on every buffer: the lock it takes guards only the values in
// memory, and the file is written outside it, each write with the newest values, so an older set never replaces a
// newer one.
//
// Nothing stored is ever lost to a bad file: a file that cannot be read as a JSON object (a bad byte, a truncated
// file, a number out of range, a FIFO, a file over 1 MiB, values nested more than 32 deep or that would be written back
// larger than 1 MiB, or that leaves this application's own settings less than ownRoom bytes) is moved aside as
// settings.json.unreadable-<UTC time>, with a log line naming it, before anything is written; when it cannot be moved,
// nothing is written over it. A value of a type the store does not hold (null, an array, an object) reads as absent and
// is written back unchanged. A prompt longer than 4,096 characters is cut to its last 4,096, with a log line, and
// every other setting kept. Nothing the store would refuse to read is ever written: a change the application makes to
// its own settings within their bounds (the prompt at most 4,096 characters, the others short) always fits. A settings
// file that is a symbolic link is written where the link points.
class SettingsStore : public QObject {
    Q_OBJECT

public:
    using Value = std::variant<bool, double, std::string>;

    // The bytes that a settings file keeps for this application's own keys, whatever else it holds: their values,
    // the prompt of at most 4,096 characters (under 24 KiB as JSON) and a score of short ones, with room to spare.
    static constexpr std::uint64_t ownRoom = 64 * 1024;

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
    // not fit a settings file again with room for this application's own settings. A prompt longer than a prompt may
    // be (one stored before it had a bound) is cut to its last Prompt::maxLength characters, as the prompt field shows
    // it; `promptCut`, when given, receives the number of characters cut.
    static std::optional<Contents> decode(std::string_view bytes, std::size_t* promptCut = nullptr);
    // The file's bytes for `contents`: indented, or compact when indenting would pass the size cap; invalid UTF-8 in a
    // text is stored as U+FFFD.
    static std::string encode(const Contents& contents);

signals:
    void valueChanged(const QString& key);

private:
    // The file's contents (none for a missing file), or nothing when it was unreadable and has been moved aside.
    // Holds writeMutex_ or runs before any other use.
    std::optional<Contents> readFile();
    void moveAside(const std::string& reason);
    // Writes the newest contents unless they are written already. Takes writeMutex_, and mutex_ only to copy them.
    void writeFile();

    std::filesystem::path file_;
    // Taken by every reader of a setting, the audio capture thread on every buffer among them: no file I/O under it.
    mutable std::mutex mutex_;
    Contents contents_;            // guarded by mutex_
    std::uint64_t generation_ = 0;  // guarded by mutex_; counts the changes of contents_
    // Orders the reads and writes of the file.
    std::mutex writeMutex_;
    std::uint64_t written_ = 0;  // guarded by writeMutex_; the generation that the file holds or that was refused
    // Set when an unreadable file could not be moved aside: it is never written over. Guarded by writeMutex_.
    bool keepFile_ = false;
};
