#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The record of one dictation, stored as meta.json in its folder. The member order is the key order of the file.
struct RecordingMetadata {
    std::string datetime;  // "YYYY-MM-DDTHH:MM:SS", UTC
    std::string appVersion;
    std::optional<std::string> modelKey;  // always written; older files may lack it
    std::string modelName;
    std::int64_t duration = 0;        // ms of output.wav
    std::int64_t processingTime = 0;  // ms from the stop of capture to the saving of the results
    std::string recordingDevice;
    std::string languageSelected;
    std::string prompt;
    bool speedUpEnabled = false;
    bool literalPunctuationEnabled = false;
    bool translationEnabled = false;
    std::string rawResult;
    std::string result;
    // False when the recognition ended before its end (the application quit, or the recognizer failed): `result` then
    // holds what it gave until then, if anything. Written only when false; a record without it is a finished one.
    bool recognitionFinished = true;

    bool operator==(const RecordingMetadata&) const = default;

    // What a listing shows for a file that cannot be read or decoded: empty texts (modelKey present and empty),
    // zero numbers, false flags.
    static RecordingMetadata defaultRecord();

    // The file's bytes: pretty-printed JSON with " : ", "\/" and no final line break.
    std::string encode() const;
    // Strict: every key but modelKey and recognitionFinished must be present, non-null and of its JSON type (integers
    // for the two numbers). Unknown keys are ignored. Throws RecordingMetadataDecodeError.
    static RecordingMetadata decode(std::string_view bytes);

    // The datetime text of a moment.
    static std::string formatDatetime(std::chrono::system_clock::time_point time);
};

class RecordingMetadataDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The application's version as the record stores it.
std::string applicationVersion();

// Builds the record for now (modelName from the catalogue, "" for an unknown key; speedUpEnabled false) and writes it
// to `url` atomically, creating or replacing the file: a listing never reads half a record. Throws
// std::filesystem::filesystem_error when it cannot be written, leaving nothing behind, and with
// std::errc::file_too_large when the record would be larger than its reader takes (1 MiB); logs nothing itself.
void writeRecordingMetadata(const std::filesystem::path& url, const std::string& modelKey, std::int64_t duration,
                            std::int64_t processingTime, const std::string& recordingDevice,
                            const std::string& languageSelected, bool literalPunctuationEnabled,
                            bool translationEnabled, const std::string& prompt, const std::string& rawResult,
                            const std::string& result, bool recognitionFinished);
