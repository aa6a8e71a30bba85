#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DuviduCrash/Recording/Tools/DuviduCrashBinaryImage.h"

namespace duvidu {

// The loaded images as the crash core last saw them. Each list is built outside signal handlers and never changes
// or goes away afterwards, so that a handler can look addresses up in it without a lock or an allocation.
class DuviduCrashBinaryImageCache {
public:
    // An image's exported functions, sorted by address; the names lie in the image's own string table.
    struct Function {
        uint64_t start;
        uint64_t size;
        const char* name;
    };

    struct Image {
        DuviduCrashBinaryImage record;
        uint8_t uuidBytes[16] = {};
        bool hasUuid = false;
        // Shared by every list in which the image stays loaded at the same place.
        std::shared_ptr<const std::vector<Function>> functions;
    };

    struct Snapshot {
        // The dynamic linker's load and unload counters when the list was taken.
        unsigned long long adds = 0;
        unsigned long long subs = 0;
        std::vector<Image> images;
        std::vector<std::string> paths;
    };

    DuviduCrashBinaryImageCache() = delete;

    // Takes a new list when an image was loaded or unloaded since the last one. Not for signal handlers.
    static void refresh();
    // The newest list; nullptr before the first refresh. Safe in signal handlers.
    static const Snapshot* current();

    // The image whose mapped span holds the address; nullptr when none does. Safe in signal handlers.
    static const Image* imageContaining(const Snapshot* snapshot, uintptr_t address);
    // The exported function whose code holds the address: its name and start. Safe in signal handlers.
    static bool symbolContaining(const Image& image, uintptr_t address, const char** name, uintptr_t* start);
};

}  // namespace duvidu
