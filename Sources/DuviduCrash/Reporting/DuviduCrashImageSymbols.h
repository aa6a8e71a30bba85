#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace duvidu {

// The functions of one ELF file on disk, for naming the addresses of a crash report that an earlier process wrote.
// Addresses are the file's own (link-time) addresses. Read outside any crash handler.
class DuviduCrashImageSymbols {
public:
    struct Symbol {
        // Demangled where the name is a mangled C++ name.
        std::string name;
        uint64_t address = 0;
    };

    // The symbols of the file at the path: its full symbol table when it has one, else its dynamic symbols.
    // nullptr when the file cannot be read as ELF, or when its GNU build id (the first 16 bytes, as 32 lowercase
    // hexadecimal digits) is not the expected one: a file replaced since the report was written would name the wrong
    // functions.
    static std::shared_ptr<const DuviduCrashImageSymbols> load(const std::string& path,
                                                               const std::string& expectedBuildId);

    // The function whose code holds the address.
    std::optional<Symbol> symbolContaining(uint64_t address) const;

    // The build id of an ELF file as load compares it; nullopt when the file or its note cannot be read.
    static std::optional<std::string> buildIdOfFile(const std::string& path);

private:
    struct Entry {
        uint64_t address;
        uint64_t size;
        std::string name;  // as the file has it; demangled when found
    };
    std::vector<Entry> entries_;  // sorted by address
};

}  // namespace duvidu
