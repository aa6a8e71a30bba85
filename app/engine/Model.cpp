#include "engine/Model.h"

#include "engine/ErrorCapture.h"
#include "platform/AppLog.h"
#include "platform/Paths.h"

#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

const std::vector<Model>& models() {
    static const std::vector<Model> catalogue{
        {"tiny", "Fast", "20x", "lower", "77 MB", ""},
        {"base", "Nano", "15x", "low", "142 MB", ""},
        {"small", "Standard", "5x", "medium", "487 MB", ""},
        {"medium", "Pro", "2x", "high", "1.53 GB", ""},
        {"large", "Ultra", "1x", "higher", "3.09 GB", ""},
    };
    return catalogue;
}

const Model& defaultModel() { return models()[2]; }

std::string modelFileName(const std::string& key, const std::string& language) {
    const Model* row = &defaultModel();
    for (const Model& model : models()) {
        if (model.id == key) {
            row = &model;
            break;
        }
    }
    // The first non-empty "-"-separated piece of the id names the file family.
    std::string base;
    std::size_t start = 0;
    while (start <= row->id.size()) {
        const std::size_t dash = row->id.find('-', start);
        const std::size_t end = dash == std::string::npos ? row->id.size() : dash;
        if (end > start) {
            base = row->id.substr(start, end - start);
            break;
        }
        start = end + 1;
    }
    if (language == "en" && base != "large") base += ".en";
    if (!row->quantization.empty()) base += "-" + row->quantization;
    return "ggml-" + base + ".bin";
}

fs::path modelsFolderURL() {
    const fs::path folder = Paths::applicationSupportDirectory() / "vellumcaster";
    std::error_code ec;
    // A plain file in its place counts as existing: nothing is created then.
    if (fs::exists(folder, ec)) return folder;
    fs::create_directories(folder, ec);
    if (ec) {
        AppLog::error("Could not create folder at file://" + folder.string() + "/");
        captureSystemError(ec, ec.message() + " (" + folder.string() + ")");
    }
    return folder;
}

bool isModelDownloaded(const std::string& key, const std::string& language) {
    std::error_code ec;
    return fs::exists(modelsFolderURL() / modelFileName(key, language), ec);
}

std::string modelRepositoryBaseURL() {
    if (const char* override = std::getenv("VELLUMCASTER_MODEL_BASE_URL"); override && override[0]) return override;
    return "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/";
}
