#include "DuviduCrash/Recording/DuviduCrashBinaryImageCache.h"

#include <elf.h>
#include <link.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>

namespace duvidu {

namespace {

std::atomic<const DuviduCrashBinaryImageCache::Snapshot*> g_current{nullptr};

std::mutex& refreshMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Every list ever taken stays here: a signal handler may still be reading an older one.
std::vector<std::unique_ptr<DuviduCrashBinaryImageCache::Snapshot>>& allSnapshots()
{
    static std::vector<std::unique_ptr<DuviduCrashBinaryImageCache::Snapshot>> snapshots;
    return snapshots;
}

struct Counters {
    unsigned long long adds = 0;
    unsigned long long subs = 0;
};

int readCounters(struct dl_phdr_info* info, size_t size, void* data)
{
    auto* counters = static_cast<Counters*>(data);
    if (size >= offsetof(struct dl_phdr_info, dlpi_subs) + sizeof(info->dlpi_subs)) {
        counters->adds = info->dlpi_adds;
        counters->subs = info->dlpi_subs;
    }
    return 1;  // the counters are the same in every entry
}

std::string mainProgramPath()
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

// Aligns a note's name or description length to the 4 bytes notes are laid out in.
size_t noteAligned(size_t length)
{
    return (length + 3) & ~size_t(3);
}

bool readBuildId(const struct dl_phdr_info* info, const ElfW(Phdr) & header, uint8_t* uuid)
{
    auto at = reinterpret_cast<const uint8_t*>(info->dlpi_addr + header.p_vaddr);
    const uint8_t* end = at + header.p_memsz;
    while (at + sizeof(ElfW(Nhdr)) <= end) {
        ElfW(Nhdr) note;
        std::memcpy(&note, at, sizeof note);
        const uint8_t* name = at + sizeof note;
        const uint8_t* description = name + noteAligned(note.n_namesz);
        if (description + note.n_descsz > end) return false;
        if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 && std::memcmp(name, "GNU", 4) == 0) {
            std::memset(uuid, 0, 16);
            std::memcpy(uuid, description, std::min<size_t>(note.n_descsz, 16));
            return note.n_descsz > 0;
        }
        at = description + noteAligned(note.n_descsz);
    }
    return false;
}

// The number of entries of a dynamic symbol table, from the GNU hash table: the highest symbol index any bucket
// starts at, followed along its chain to the entry that ends it.
size_t gnuHashSymbolCount(const uint32_t* table)
{
    uint32_t bucketCount = table[0];
    uint32_t firstSymbol = table[1];
    uint32_t bloomWords = table[2];
    auto buckets = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint64_t*>(table + 4) + bloomWords);
    const uint32_t* chain = buckets + bucketCount;
    uint32_t highest = 0;
    for (uint32_t i = 0; i < bucketCount; ++i) highest = std::max(highest, buckets[i]);
    if (highest < firstSymbol) return firstSymbol;
    while ((chain[highest - firstSymbol] & 1) == 0) ++highest;
    return size_t(highest) + 1;
}

// The exported functions of the image's dynamic symbol table, sorted by address; empty when it has no table.
std::vector<DuviduCrashBinaryImageCache::Function> readFunctions(const struct dl_phdr_info* info,
                                                                  const ElfW(Phdr) & header, uint64_t start,
                                                                  uint64_t end)
{
    // The loader relocates these entries in place for most objects but not for the kernel's vdso.
    auto pointer = [&](uint64_t value) -> uint64_t {
        if (info->dlpi_addr != 0 && value < info->dlpi_addr) value += info->dlpi_addr;
        return value >= start && value < end ? value : 0;
    };
    uint64_t symbolTable = 0, strings = 0, stringsSize = 0, hash = 0, gnuHash = 0;
    for (auto dynamic = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + header.p_vaddr);
         dynamic->d_tag != DT_NULL; ++dynamic) {
        switch (dynamic->d_tag) {
        case DT_SYMTAB: symbolTable = pointer(dynamic->d_un.d_ptr); break;
        case DT_STRTAB: strings = pointer(dynamic->d_un.d_ptr); break;
        case DT_STRSZ: stringsSize = dynamic->d_un.d_val; break;
        case DT_HASH: hash = pointer(dynamic->d_un.d_ptr); break;
        case DT_GNU_HASH: gnuHash = pointer(dynamic->d_un.d_ptr); break;
        default: break;
        }
    }
    std::vector<DuviduCrashBinaryImageCache::Function> functions;
    if (!symbolTable || !strings || strings + stringsSize > end) return functions;
    size_t count = 0;
    if (gnuHash) {
        count = gnuHashSymbolCount(reinterpret_cast<const uint32_t*>(gnuHash));
    } else if (hash) {
        count = reinterpret_cast<const uint32_t*>(hash)[1];
    }
    if (symbolTable + count * sizeof(ElfW(Sym)) > end) return functions;
    auto symbols = reinterpret_cast<const ElfW(Sym)*>(symbolTable);
    for (size_t i = 0; i < count; ++i) {
        const ElfW(Sym)& symbol = symbols[i];
        if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || symbol.st_shndx == SHN_UNDEF || symbol.st_value == 0 ||
            symbol.st_name >= stringsSize)
            continue;
        functions.push_back({info->dlpi_addr + symbol.st_value, symbol.st_size,
                             reinterpret_cast<const char*>(strings) + symbol.st_name});
    }
    std::sort(functions.begin(), functions.end(),
              [](const auto& a, const auto& b) { return a.start < b.start; });
    return functions;
}

struct Walk {
    DuviduCrashBinaryImageCache::Snapshot* snapshot;
    const DuviduCrashBinaryImageCache::Snapshot* previous;
};

// The function list the previous list made for the same image at the same place.
std::shared_ptr<const std::vector<DuviduCrashBinaryImageCache::Function>> knownFunctions(
    const DuviduCrashBinaryImageCache::Snapshot* previous, uint64_t address, const std::string& path)
{
    if (!previous) return nullptr;
    for (size_t i = 0; i < previous->images.size(); ++i) {
        if (previous->images[i].record.address == address && previous->paths[i] == path)
            return previous->images[i].functions;
    }
    return nullptr;
}

int addImage(struct dl_phdr_info* info, size_t size, void* data)
{
    auto* walk = static_cast<Walk*>(data);
    auto* snapshot = walk->snapshot;
    if (size >= offsetof(struct dl_phdr_info, dlpi_subs) + sizeof(info->dlpi_subs)) {
        snapshot->adds = info->dlpi_adds;
        snapshot->subs = info->dlpi_subs;
    }
    DuviduCrashBinaryImageCache::Image image;
    std::string path = info->dlpi_name ? info->dlpi_name : "";
    if (path.empty() && snapshot->images.empty()) path = mainProgramPath();

    uint64_t lowest = UINT64_MAX, highest = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const auto& header = info->dlpi_phdr[i];
        if (header.p_type != PT_LOAD) continue;
        lowest = std::min<uint64_t>(lowest, header.p_vaddr);
        highest = std::max<uint64_t>(highest, header.p_vaddr + header.p_memsz);
    }
    if (lowest != UINT64_MAX) {
        image.record.address = info->dlpi_addr + lowest;
        image.record.vmAddress = lowest;
        image.record.size = highest - lowest;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
            const auto& header = info->dlpi_phdr[i];
            if (header.p_type == PT_NOTE && !image.hasUuid)
                image.hasUuid = readBuildId(info, header, image.uuidBytes);
            if (header.p_type == PT_DYNAMIC && !image.functions) {
                image.functions = knownFunctions(walk->previous, image.record.address, path);
                if (!image.functions) {
                    image.functions = std::make_shared<const std::vector<DuviduCrashBinaryImageCache::Function>>(
                        readFunctions(info, header, image.record.address, image.record.address + image.record.size));
                }
            }
        }
    } else {
        path.clear();
    }
    // The record's pointers are set once the list stops growing.
    snapshot->images.push_back(image);
    snapshot->paths.push_back(std::move(path));
    return 0;
}

}  // namespace

void DuviduCrashBinaryImageCache::refresh()
{
    std::lock_guard lock(refreshMutex());
    const Snapshot* last = g_current.load(std::memory_order_acquire);
    Counters counters;
    dl_iterate_phdr(readCounters, &counters);
    if (last && last->adds == counters.adds && last->subs == counters.subs) return;

    auto snapshot = std::make_unique<Snapshot>();
    Walk walk{snapshot.get(), last};
    dl_iterate_phdr(addImage, &walk);
    for (size_t i = 0; i < snapshot->images.size(); ++i) {
        auto& image = snapshot->images[i];
        image.record.uuid = image.hasUuid ? image.uuidBytes : nullptr;
        image.record.name = snapshot->paths[i].empty() ? nullptr : snapshot->paths[i].c_str();
    }
    g_current.store(snapshot.get(), std::memory_order_release);
    allSnapshots().push_back(std::move(snapshot));
}

const DuviduCrashBinaryImageCache::Snapshot* DuviduCrashBinaryImageCache::current()
{
    return g_current.load(std::memory_order_acquire);
}

const DuviduCrashBinaryImageCache::Image* DuviduCrashBinaryImageCache::imageContaining(const Snapshot* snapshot,
                                                                                       uintptr_t address)
{
    if (!snapshot) return nullptr;
    for (const auto& image : snapshot->images) {
        if (image.record.size != 0 && address >= image.record.address &&
            address - image.record.address < image.record.size)
            return &image;
    }
    return nullptr;
}

bool DuviduCrashBinaryImageCache::symbolContaining(const Image& image, uintptr_t address, const char** name,
                                                   uintptr_t* start)
{
    if (!image.functions) return false;
    const auto& functions = *image.functions;
    // The last function starting at or before the address, then the few before it that start at the same place or
    // might enclose it.
    size_t low = 0, high = functions.size();
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (functions[middle].start <= address)
            low = middle + 1;
        else
            high = middle;
    }
    constexpr size_t kLookBack = 8;
    for (size_t i = low; i > 0 && low - i < kLookBack; --i) {
        const Function& function = functions[i - 1];
        bool inside = function.size == 0 ? address == function.start : address - function.start < function.size;
        if (inside) {
            *name = function.name;
            *start = function.start;
            return true;
        }
    }
    return false;
}

}  // namespace duvidu
