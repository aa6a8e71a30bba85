#pragma once

#include <cstdint>

namespace duvidu {

// One loaded ELF object as the crash core describes it. An image the dynamic linker lists without program headers
// gives an all-zero record.
struct DuviduCrashBinaryImage {
    // Where the image's first loaded segment, holding its ELF header, lies in memory.
    uint64_t address = 0;
    // The link-time address of that segment: 0 for shared objects and position-independent programs.
    uint64_t vmAddress = 0;
    // The whole mapped span, from the first loaded segment to the end of the last one.
    uint64_t size = 0;
    // The image's path; the main program's real path rather than the linker's empty name.
    const char* name = nullptr;
    // The first 16 bytes of the GNU build id (zero-padded when shorter); nullptr when the image has none.
    const uint8_t* uuid = nullptr;
};

// Writes the 16 bytes as 36 characters: upper-case hexadecimal in groups 8-4-4-4-12 joined by "-", then a NUL.
// The buffer holds at least 37 bytes. Safe in a signal handler.
void convertBinaryImageUUID(const uint8_t* uuid, char* buffer);

}  // namespace duvidu
