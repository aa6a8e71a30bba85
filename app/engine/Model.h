#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One speech model the user can choose: the id stored in the setting activeModelKey and what the model page shows.
struct Model {
    std::string id;
    std::string name;
    std::string speed;
    std::string accuracy;
    std::string size;
    std::string quantization;  // suffix of a quantized file variant; "" for none

    bool operator==(const Model&) const = default;
};

// The five models, smallest first. Built once on first use; safe to read from any thread.
const std::vector<Model>& models();
// The "small" row: the fallback for an unknown model id.
const Model& defaultModel();

// "ggml-<id>[.en][-<quantization>].bin". An unknown key uses the default row; ".en" only for language "en" exactly
// and never for "large".
std::string modelFileName(const std::string& key, const std::string& language);

// <application-support>/vellumcaster, created when nothing exists there. A failure to create it is logged and
// reported, and the path is returned anyway, so later file operations fail on their own.
std::filesystem::path modelsFolderURL();

// Whether a file of that name is in the models folder (presence only; creates the folder as a side effect).
bool isModelDownloaded(const std::string& key, const std::string& language);

// Why a file of `size` bytes that begins with `head` cannot be the model file `fileName`: it does not begin as a ggml
// model file does, or, for a file name of the catalogue, its size is more than a tenth off the size the catalogue
// shows. None when it may be that file.
std::optional<std::string> modelFileProblem(const std::string& fileName, std::string_view head, std::uint64_t size);

// Where model files are downloaded from, ending in "/"; the download address is this followed by modelFileName().
// VELLUMCASTER_MODEL_BASE_URL replaces it (a mirror, or a local server in tests).
std::string modelRepositoryBaseURL();
