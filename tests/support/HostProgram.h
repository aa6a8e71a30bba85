#pragma once

#include <unistd.h>

#include <cstdlib>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>

namespace vctest {

// The programs of the machine that the tests start, each with the Debian package that brings it; scripts/setup
// installs these packages.
inline const std::map<std::string, std::string>& hostProgramPackages() {
    static const std::map<std::string, std::string> packages{
        {"Xvfb", "xvfb"},           {"espeak-ng", "espeak-ng"}, {"openbox", "openbox"},
        {"pactl", "pulseaudio-utils"}, {"pulseaudio", "pulseaudio"}, {"readelf", "binutils"},
        {"sh", "dash"},             {"sox", "sox"},             {"trayer", "trayer"},       {"xclip", "xclip"},
        {"xdotool", "xdotool"},     {"xprop", "x11-utils"},     {"xwd", "x11-apps"},
        {"xwininfo", "x11-utils"},
    };
    return packages;
}

// Where the host program `name` is, looked up on PATH. Every test that starts one asks here first: a program that is
// not installed fails the test at once with an exception (GoogleTest reports its text as the failure) that names the
// program and its package, instead of a failure further on that an empty output leads to.
inline std::string hostProgram(const std::string& name) {
    const auto package = hostProgramPackages().find(name);
    if (package == hostProgramPackages().end()) {
        throw std::logic_error(name + " is not a host program the tests know: add it and its package to "
                                      "tests/support/HostProgram.h and to scripts/setup");
    }
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    throw std::runtime_error(name + " is not installed: it comes with the Debian package " + package->second +
                             " (scripts/setup installs it)");
}

// Asks for each of the programs, as hostProgram does: for a fixture that starts them further on.
inline void requireHostPrograms(std::initializer_list<const char*> names) {
    for (const char* name : names) hostProgram(name);
}

}  // namespace vctest
