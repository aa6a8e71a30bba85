#include "Duvidu/NSTimeZone.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

#include "Duvidu/DuviduFileText.h"

namespace duvidu {

namespace {

// "Europe/Berlin" of ".../zoneinfo/Europe/Berlin"; a path outside the zone database names no zone.
std::optional<std::string> zoneOfDatabasePath(const std::string& path)
{
    static const std::string marker = "zoneinfo/";
    auto at = path.find(marker);
    if (at == std::string::npos) return std::nullopt;
    std::string zone = path.substr(at + marker.size());
    // The database keeps the same zones again under posix/ and right/.
    for (const char* prefix : {"posix/", "right/"}) {
        if (zone.rfind(prefix, 0) == 0) zone.erase(0, std::string(prefix).size());
    }
    if (zone.empty()) return std::nullopt;
    return zone;
}

std::optional<std::string> zoneOfVariable(const char* value)
{
    if (!value) return std::nullopt;
    std::string text = value;
    if (text.empty()) return "UTC";  // the C library reads an empty TZ as UTC
    if (text.front() == ':') text.erase(0, 1);
    if (!text.empty() && text.front() == '/') return zoneOfDatabasePath(text);
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<std::string> zoneOfLink(const std::string& linkPath)
{
    std::error_code error;
    auto target = std::filesystem::read_symlink(linkPath, error);
    if (error) return std::nullopt;
    return zoneOfDatabasePath(target.lexically_normal().string());
}

std::optional<std::string> zoneOfFile(const std::string& path)
{
    auto text = duvidu_readTextFile(path.c_str());
    if (!text) return std::nullopt;
    std::istringstream lines(*text);
    std::string line;
    std::getline(lines, line);
    auto first = line.find_first_not_of(" \t\r");
    auto last = line.find_last_not_of(" \t\r");
    if (first == std::string::npos) return std::nullopt;
    return line.substr(first, last - first + 1);
}

}  // namespace

NSTimeZone NSTimeZone::systemTimeZone(const std::string& etcFolder)
{
    if (auto zone = zoneOfVariable(std::getenv("TZ"))) return NSTimeZone(*zone);
    if (auto zone = zoneOfLink(etcFolder + "/localtime")) return NSTimeZone(*zone);
    if (auto zone = zoneOfFile(etcFolder + "/timezone")) return NSTimeZone(*zone);
    return NSTimeZone("UTC");
}

}  // namespace duvidu
