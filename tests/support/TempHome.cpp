#include "support/TempHome.h"

#include <cstdlib>
#include <stdexcept>

namespace vctest {
namespace {

const char* const kVariables[6] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                   "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR", "XDG_STATE_HOME"};

std::filesystem::path makeTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vellumcaster-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void pointAt(const std::filesystem::path& root) {
    std::filesystem::create_directories(root / "Documents");
    std::filesystem::create_directories(root / ".config");
    std::filesystem::create_directories(root / ".local/share");
    std::filesystem::create_directories(root / ".cache");
    std::filesystem::create_directories(root / ".local/state");
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / ".config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root / ".local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (root / ".cache").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (root / "Documents").c_str(), 1);
    setenv("XDG_STATE_HOME", (root / ".local/state").c_str(), 1);
}

}  // namespace

TempHome::TempHome() : root_(makeTempFolder()) {
    for (int i = 0; i < 6; ++i) {
        const char* v = std::getenv(kVariables[i]);
        saved_[i] = {kVariables[i], v != nullptr, v ? v : ""};
    }
    pointAt(root_);
}

TempHome::~TempHome() {
    for (const auto& s : saved_) {
        if (s.wasSet)
            setenv(s.name.c_str(), s.value.c_str(), 1);
        else
            unsetenv(s.name.c_str());
    }
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

std::filesystem::path isolateHomeForProcess() {
    static const std::filesystem::path root = [] {
        auto r = makeTempFolder();
        pointAt(r);
        return r;
    }();
    return root;
}

}  // namespace vctest
