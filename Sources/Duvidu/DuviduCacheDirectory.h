#pragma once

#include <string>

namespace duvidu {

// The SDK's folder in the user's caches folder: $XDG_CACHE_HOME/duvidu, or ~/.cache/duvidu when that is unset or not
// an absolute path. Read anew on each call; the folder may not exist yet.
std::string duvidu_cacheDirectory();

}  // namespace duvidu
