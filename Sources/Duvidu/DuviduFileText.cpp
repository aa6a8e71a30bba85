#include "Duvidu/DuviduFileText.h"

#include <fstream>
#include <sstream>

namespace duvidu {

std::optional<std::string> duvidu_readTextFile(const char* path)
{
    std::ifstream file(path);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace duvidu
