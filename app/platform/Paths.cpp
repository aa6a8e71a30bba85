#include "platform/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// An XDG variable counts only when it holds an absolute path.
std::filesystem::path fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value && value[0] == '/') return value;
    return {};
}

// Reads XDG_DOCUMENTS_DIR="$HOME/..." from user-dirs.dirs, the file the desktop's folder settings write.
std::filesystem::path documentsFromUserDirs() {
    std::ifstream in(Paths::configDirectory() / "user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) return Paths::home().string() + value.substr(5);
        if (!value.empty() && value[0] == '/') return value;
    }
    return {};
}

}  // namespace

std::filesystem::path Paths::home() {
    if (const char* h = std::getenv("HOME"); h && h[0]) return h;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::filesystem::path Paths::documentsDirectory() {
    if (auto p = fromEnvironment("XDG_DOCUMENTS_DIR"); !p.empty()) return p;
    if (auto p = documentsFromUserDirs(); !p.empty()) return p;
    return home() / "Documents";
}

std::filesystem::path Paths::applicationSupportDirectory() {
    if (auto p = fromEnvironment("XDG_DATA_HOME"); !p.empty()) return p;
    return home() / ".local" / "share";
}

std::filesystem::path Paths::cachesDirectory() {
    if (auto p = fromEnvironment("XDG_CACHE_HOME"); !p.empty()) return p;
    return home() / ".cache";
}

std::filesystem::path Paths::configDirectory() {
    if (auto p = fromEnvironment("XDG_CONFIG_HOME"); !p.empty()) return p;
    return home() / ".config";
}
