#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vctest {

// The whole file as bytes; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace vctest
