#include "Duvidu/DuviduCacheDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace duvidu {

namespace {

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const struct passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/tmp";
}

}  // namespace

std::string duvidu_cacheDirectory()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::string root = cache && cache[0] == '/' ? std::string(cache) : homeDirectory() + "/.cache";
    return root + "/duvidu";
}

}  // namespace duvidu
