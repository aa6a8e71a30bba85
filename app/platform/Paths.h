#pragma once

#include <filesystem>

// The user's standard folders, resolved from HOME and the XDG base-directory variables at every call, so that a
// changed environment (tests, a new session) is honoured.
class Paths {
public:
    Paths() = delete;

    static std::filesystem::path home();
    // $XDG_DOCUMENTS_DIR, else XDG_DOCUMENTS_DIR in $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Documents.
    static std::filesystem::path documentsDirectory();
    // $XDG_DATA_HOME or ~/.local/share: the application-support folder.
    static std::filesystem::path applicationSupportDirectory();
    // $XDG_CACHE_HOME or ~/.cache.
    static std::filesystem::path cachesDirectory();
    // $XDG_CONFIG_HOME or ~/.config.
    static std::filesystem::path configDirectory();
};
