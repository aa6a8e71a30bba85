#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace duvidu {

// The functions of one ELF file on disk, for naming addresses in that image: those of a crash report that an earlier
// process wrote, and those of this process's own stacks. Addresses are the file's own (link-time) addresses. Read
// outside any crash handler; safe from any thread.
class DuviduCrashImageSymbols {
public:
    struct Symbol {
        // Demangled where the name is a mangled C++ name; lives as long as these symbols.
        const char* name = nullptr;
        uint64_t address = 0;
    };

    // The symbols of the file at the path: its full symbol table when it has one, else its dynamic symbols.
    // nullptr when the file cannot be read as ELF, or when its GNU build id (the first 16 bytes, as 32 lowercase
    // hexadecimal digits) is not the expected one: a file replaced since the image was loaded would name the wrong
    // functions.
    static std::shared_ptr<const DuviduCrashImageSymbols> load(const std::string& path,
                                                               const std::string& expectedBuildId);
    // The same, read once per path and build id and kept for the life of the process (a failure too), so that
    // naming the frames of one more stack costs lookups only.
    static std::shared_ptr<const DuviduCrashImageSymbols> shared(const std::string& path, const std::string& buildId);

    // The function whose code holds the address.
    std::optional<Symbol> symbolContaining(uint64_t address) const;

    // The build id of an ELF file as load compares it; nullopt when the file or its note cannot be read.
    static std::optional<std::string> buildIdOfFile(const std::string& path);
    // The first 16 bytes of a build id (zero-padded when shorter) as load compares it.
    static std::string buildIdText(const uint8_t* bytes);

private:
    struct Entry {
        uint64_t address;
        uint64_t size;
        std::string name;  // as the file has it; demangled when found
    };
    std::vector<Entry> entries_;  // sorted by address
    // The demangled names handed out so far, by entry.
    mutable std::mutex namesMutex_;
    mutable std::unordered_map<size_t, std::string> names_;
};

}  // namespace duvidu
