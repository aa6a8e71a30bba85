#include "shell/LaunchOnLogin.h"

#include "engine/ErrorCapture.h"
#include "platform/AppLog.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void report(const char* verb, const std::error_code& error) {
    const std::string description = error.message();
    AppLog::error(std::string("Failed to ") + verb + " launch at login: " + description);
    captureSystemError(error, description);
}

fs::path currentProgram() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path("vellumcaster") : self;
}

// Writes the entry next to its final place and renames it, so a session never reads half a file.
std::error_code writeEntry(const fs::path& file, const std::string& contents) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (ec) return ec;
    const fs::path temporary = file.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return std::error_code(errno ? errno : EACCES, std::generic_category());
        out << contents;
        out.flush();
        if (!out) {
            const int error = errno ? errno : EIO;
            fs::remove(temporary, ec);
            return std::error_code(error, std::generic_category());
        }
    }
    fs::rename(temporary, file, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
    return ec;
}

std::error_code removeEntry(const fs::path& file) {
    if (::unlink(file.c_str()) != 0) return std::error_code(errno, std::generic_category());
    return {};
}

}  // namespace

fs::path LaunchOnLogin::autostartFile() { return Paths::configDirectory() / "autostart" / "vellumcaster.desktop"; }

std::string LaunchOnLogin::execValue(const fs::path& program) {
    // Quoted argument: backslash, double quote, backquote and dollar are escaped inside the quotes; '%' is doubled
    // because it introduces field codes. The value itself then escapes each backslash once more.
    std::string quoted = "\"";
    for (const char c : program.string()) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (const char c : quoted) {
        if (c == '\\') value += '\\';
        value += c;
    }
    return value;
}

bool LaunchOnLogin::isEnabled() {
    std::ifstream in(autostartFile());
    if (!in) return false;
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (inEntry && (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false")) return false;
    }
    return true;
}

void LaunchOnLogin::setEnabled(bool enabled) {
    const fs::path file = autostartFile();
    if (!enabled) {
        if (const auto error = removeEntry(file)) report("disable", error);
        return;
    }
    // Registering again replaces an existing entry; a failure to remove the old one is of no consequence.
    if (isEnabled()) removeEntry(file);
    std::ostringstream entry;
    entry << "[Desktop Entry]\n"
          << "Type=Application\n"
          << "Name=Vellumcaster\n"
          << "Comment=Push-to-talk dictation\n"
          << "Exec=" << execValue(currentProgram()) << "\n"
          << "Icon=vellumcaster\n"
          << "Terminal=false\n"
          << "X-GNOME-Autostart-enabled=true\n";
    if (const auto error = writeEntry(file, entry.str())) report("enable", error);
}
