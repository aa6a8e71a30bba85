#include "engine/Model.h"

#include "engine/ErrorCapture.h"
#include "platform/AppLog.h"
#include "platform/Paths.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The first bytes of every ggml model file: its magic number 0x67676d6c, little-endian.
constexpr std::string_view ggmlMagic = "lmgg";
// The catalogue shows sizes rounded, and not all in the same unit; every file is within a few percent of its size.
constexpr double sizeTolerance = 0.1;

// The bytes a catalogue size such as "487 MB" or "1.53 GB" stands for; none for any other text.
std::optional<double> catalogueBytes(const std::string& size) {
    double number = 0;
    const auto [end, error] = std::from_chars(size.data(), size.data() + size.size(), number);
    if (error != std::errc()) return std::nullopt;
    const std::string_view unit(end, std::size_t(size.data() + size.size() - end));
    if (unit == " MB") return number * 1e6;
    if (unit == " GB") return number * 1e9;
    return std::nullopt;
}

const Model* catalogueRow(const std::string& fileName) {
    for (const Model& model : models()) {
        if (fileName == modelFileName(model.id, "en") || fileName == modelFileName(model.id, "")) return &model;
    }
    return nullptr;
}

}  // namespace

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

std::optional<std::string> modelFileProblem(const std::string& fileName, std::string_view head, std::uint64_t size) {
    if (!head.starts_with(ggmlMagic)) return "The downloaded file is not a speech model file";
    const Model* row = catalogueRow(fileName);
    const auto expected = row ? catalogueBytes(row->size) : std::nullopt;
    if (expected && std::fabs(double(size) - *expected) > *expected * sizeTolerance) {
        return "The downloaded file has " + std::to_string(size) + " bytes, but the " + row->name + " model has " +
               row->size;
    }
    return std::nullopt;
}

std::string modelRepositoryBaseURL() {
    if (const char* override = std::getenv("VELLUMCASTER_MODEL_BASE_URL"); override && override[0]) return override;
    return "https://huggingface.co/ggerganov/whisper.cpp/resolve/main/";
}
