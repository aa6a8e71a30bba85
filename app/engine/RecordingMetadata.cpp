#include "engine/RecordingMetadata.h"

#include "engine/Model.h"
#include "platform/FileIO.h"
#include "platform/JsonWriter.h"

#include <nlohmann/json.hpp>

#include <ctime>
#include <system_error>

#ifndef VC_APP_VERSION
#error "VC_APP_VERSION must be defined by the build"
#endif

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const json& member(const json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        throw RecordingMetadataDecodeError(std::string("keyNotFound: no value for key \"") + key + "\"");
    }
    return *it;
}

[[noreturn]] void typeMismatch(const char* key, const char* expected) {
    throw RecordingMetadataDecodeError(std::string("typeMismatch: expected ") + expected + " for key \"" + key + "\"");
}

std::string stringMember(const json& object, const char* key) {
    const json& value = member(object, key);
    if (!value.is_string()) typeMismatch(key, "a string");
    return value.get<std::string>();
}

std::int64_t integerMember(const json& object, const char* key) {
    const json& value = member(object, key);
    if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<std::int64_t>();
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u <= static_cast<std::uint64_t>(INT64_MAX)) return static_cast<std::int64_t>(u);
    }
    typeMismatch(key, "a 64-bit integer");
}

bool boolMember(const json& object, const char* key) {
    const json& value = member(object, key);
    if (!value.is_boolean()) typeMismatch(key, "true or false");
    return value.get<bool>();
}

}  // namespace

RecordingMetadata RecordingMetadata::defaultRecord() {
    RecordingMetadata record;
    record.modelKey = "";
    return record;
}

std::string RecordingMetadata::encode() const {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["datetime"] = datetime;
    object["appVersion"] = appVersion;
    if (modelKey) object["modelKey"] = *modelKey;
    object["modelName"] = modelName;
    object["duration"] = duration;
    object["processingTime"] = processingTime;
    object["recordingDevice"] = recordingDevice;
    object["languageSelected"] = languageSelected;
    object["prompt"] = prompt;
    object["speedUpEnabled"] = speedUpEnabled;
    object["literalPunctuationEnabled"] = literalPunctuationEnabled;
    object["translationEnabled"] = translationEnabled;
    object["rawResult"] = rawResult;
    object["result"] = result;
    if (!recognitionFinished) object["recognitionFinished"] = false;
    return JsonWriter::prettyPrinted(object);
}

RecordingMetadata RecordingMetadata::decode(std::string_view bytes) {
    json object;
    try {
        object = json::parse(bytes.begin(), bytes.end());
    } catch (const json::exception& e) {
        throw RecordingMetadataDecodeError(std::string("dataCorrupted: the data is not valid JSON (") + e.what() +
                                           ")");
    }
    if (!object.is_object()) {
        throw RecordingMetadataDecodeError("typeMismatch: expected a JSON object at the top level");
    }
    RecordingMetadata record;
    record.datetime = stringMember(object, "datetime");
    record.appVersion = stringMember(object, "appVersion");
    if (const auto it = object.find("modelKey"); it != object.end() && !it->is_null()) {
        if (!it->is_string()) typeMismatch("modelKey", "a string");
        record.modelKey = it->get<std::string>();
    }
    record.modelName = stringMember(object, "modelName");
    record.duration = integerMember(object, "duration");
    record.processingTime = integerMember(object, "processingTime");
    record.recordingDevice = stringMember(object, "recordingDevice");
    record.languageSelected = stringMember(object, "languageSelected");
    record.prompt = stringMember(object, "prompt");
    record.speedUpEnabled = boolMember(object, "speedUpEnabled");
    record.literalPunctuationEnabled = boolMember(object, "literalPunctuationEnabled");
    record.translationEnabled = boolMember(object, "translationEnabled");
    record.rawResult = stringMember(object, "rawResult");
    record.result = stringMember(object, "result");
    if (const auto it = object.find("recognitionFinished"); it != object.end() && !it->is_null()) {
        if (!it->is_boolean()) typeMismatch("recognitionFinished", "true or false");
        record.recognitionFinished = it->get<bool>();
    }
    return record;
}

std::string RecordingMetadata::formatDatetime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &utc);
    return buffer;
}

std::string applicationVersion() { return VC_APP_VERSION; }

void writeRecordingMetadata(const fs::path& url, const std::string& modelKey, std::int64_t duration,
                            std::int64_t processingTime, const std::string& recordingDevice,
                            const std::string& languageSelected, bool literalPunctuationEnabled,
                            bool translationEnabled, const std::string& prompt, const std::string& rawResult,
                            const std::string& result, bool recognitionFinished) {
    RecordingMetadata record;
    record.datetime = RecordingMetadata::formatDatetime(std::chrono::system_clock::now());
    record.appVersion = applicationVersion();
    record.modelKey = modelKey;
    for (const Model& model : models()) {
        if (model.id == modelKey) {
            record.modelName = model.name;
            break;
        }
    }
    record.duration = duration;
    record.processingTime = processingTime;
    record.recordingDevice = recordingDevice;
    record.languageSelected = languageSelected;
    record.prompt = prompt;
    record.speedUpEnabled = false;
    record.literalPunctuationEnabled = literalPunctuationEnabled;
    record.translationEnabled = translationEnabled;
    record.rawResult = rawResult;
    record.result = result;
    record.recognitionFinished = recognitionFinished;
    const std::string bytes = record.encode();
    // A larger record would be refused by the reader, and the dictation listed without its record.
    if (bytes.size() > ReadableFile::sizeCap(ReadableFile::Kind::record)) {
        throw fs::filesystem_error("The record is larger than a record may be", url,
                                   std::make_error_code(std::errc::file_too_large));
    }
    FileIO::writeAtomically(url, bytes);
}
