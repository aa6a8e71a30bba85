#pragma once

#include <filesystem>

// The application's login item: an XDG autostart entry in $XDG_CONFIG_HOME/autostart, which desktop sessions read at
// login. It keeps no state of its own; the file is the registration.
class LaunchOnLogin {
public:
    LaunchOnLogin() = delete;

    // True when the autostart entry exists and is not hidden.
    static bool isEnabled();
    // Writes or removes the autostart entry. Failures are logged and reported, never thrown.
    static void setEnabled(bool enabled);

    static std::filesystem::path autostartFile();
    // The entry's Exec value for the given program, quoted as desktop entries require.
    static std::string execValue(const std::filesystem::path& program);
};
