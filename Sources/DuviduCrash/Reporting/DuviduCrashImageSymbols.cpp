#include "DuviduCrash/Reporting/DuviduCrashImageSymbols.h"

#include <cxxabi.h>
#include <elf.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

namespace duvidu {

namespace {

// An ELF file open for reading; closed with the object.
class ElfFile {
public:
    explicit ElfFile(const std::string& path)
    {
        if (elf_version(EV_CURRENT) == EV_NONE) return;
        descriptor_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor_ < 0) return;
        elf_ = elf_begin(descriptor_, ELF_C_READ_MMAP, nullptr);
        if (elf_ && elf_kind(elf_) != ELF_K_ELF) {
            elf_end(elf_);
            elf_ = nullptr;
        }
    }
    ~ElfFile()
    {
        if (elf_) elf_end(elf_);
        if (descriptor_ >= 0) close(descriptor_);
    }
    ElfFile(const ElfFile&) = delete;
    ElfFile& operator=(const ElfFile&) = delete;

    Elf* elf() const { return elf_; }

    template <typename Visit>
    void forEachSection(Visit visit) const
    {
        for (Elf_Scn* section = elf_nextscn(elf_, nullptr); section; section = elf_nextscn(elf_, section)) {
            GElf_Shdr header;
            if (gelf_getshdr(section, &header)) visit(section, header);
        }
    }

private:
    int descriptor_ = -1;
    Elf* elf_ = nullptr;
};

std::optional<std::string> buildIdOf(const ElfFile& file)
{
    std::optional<std::string> buildId;
    file.forEachSection([&](Elf_Scn* section, const GElf_Shdr& header) {
        if (buildId || header.sh_type != SHT_NOTE) return;
        Elf_Data* data = elf_getdata(section, nullptr);
        if (!data) return;
        GElf_Nhdr note;
        size_t at = 0, nameOffset = 0, descriptionOffset = 0;
        while ((at = gelf_getnote(data, at, &note, &nameOffset, &descriptionOffset)) > 0) {
            const auto* bytes = static_cast<const unsigned char*>(data->d_buf);
            if (note.n_type != NT_GNU_BUILD_ID || note.n_namesz != 4 ||
                std::memcmp(bytes + nameOffset, "GNU", 4) != 0 || note.n_descsz == 0)
                continue;
            uint8_t first[16] = {};
            std::memcpy(first, bytes + descriptionOffset, std::min<size_t>(note.n_descsz, sizeof first));
            buildId = DuviduCrashImageSymbols::buildIdText(first);
            return;
        }
    });
    return buildId;
}

std::string demangled(const char* name)
{
    int status = 0;
    char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && text ? text : name;
    std::free(text);
    return result;
}

}  // namespace

std::string DuviduCrashImageSymbols::buildIdText(const uint8_t* bytes)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < 16; ++i) {
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 0x0F];
    }
    return text;
}

std::optional<std::string> DuviduCrashImageSymbols::buildIdOfFile(const std::string& path)
{
    ElfFile file(path);
    return file.elf() ? buildIdOf(file) : std::nullopt;
}

std::shared_ptr<const DuviduCrashImageSymbols> DuviduCrashImageSymbols::load(const std::string& path,
                                                                             const std::string& expectedBuildId)
{
    ElfFile file(path);
    if (!file.elf() || buildIdOf(file) != expectedBuildId) return nullptr;

    // The full table names every function; the dynamic one only those the image exports.
    Elf_Scn* table = nullptr;
    GElf_Shdr tableHeader{};
    file.forEachSection([&](Elf_Scn* section, const GElf_Shdr& header) {
        const bool better = header.sh_type == SHT_SYMTAB || (header.sh_type == SHT_DYNSYM && !table);
        if (better && header.sh_entsize > 0) {
            table = section;
            tableHeader = header;
        }
    });
    auto symbols = std::shared_ptr<DuviduCrashImageSymbols>(new DuviduCrashImageSymbols());
    Elf_Data* data = table ? elf_getdata(table, nullptr) : nullptr;
    const size_t count = data ? tableHeader.sh_size / tableHeader.sh_entsize : 0;
    for (size_t i = 0; i < count; ++i) {
        GElf_Sym symbol;
        if (!gelf_getsym(data, static_cast<int>(i), &symbol)) continue;
        const int type = GELF_ST_TYPE(symbol.st_info);
        if ((type != STT_FUNC && type != STT_GNU_IFUNC) || symbol.st_shndx == SHN_UNDEF || symbol.st_value == 0)
            continue;
        const char* name = elf_strptr(file.elf(), tableHeader.sh_link, symbol.st_name);
        if (!name || !*name) continue;
        symbols->entries_.push_back({symbol.st_value, symbol.st_size, name});
    }
    std::sort(symbols->entries_.begin(), symbols->entries_.end(),
              [](const Entry& a, const Entry& b) { return a.address < b.address; });
    return symbols;
}

std::shared_ptr<const DuviduCrashImageSymbols> DuviduCrashImageSymbols::shared(const std::string& path,
                                                                               const std::string& buildId)
{
    static std::mutex mutex;
    static std::map<std::pair<std::string, std::string>, std::shared_ptr<const DuviduCrashImageSymbols>> loaded;
    std::lock_guard lock(mutex);
    auto [at, added] = loaded.try_emplace({path, buildId});
    if (added) at->second = load(path, buildId);
    return at->second;
}

std::optional<DuviduCrashImageSymbols::Symbol> DuviduCrashImageSymbols::symbolContaining(uint64_t address) const
{
    auto after = std::upper_bound(entries_.begin(), entries_.end(), address,
                                  [](uint64_t value, const Entry& entry) { return value < entry.address; });
    // The nearest start below the address that spans it; a few steps back cover aliases and symbols nested in a
    // larger one.
    int looked = 0;
    for (auto at = after; at != entries_.begin() && looked < 64; ++looked) {
        --at;
        if (address - at->address < std::max<uint64_t>(at->size, 1)) {
            std::lock_guard lock(namesMutex_);
            auto [name, added] = names_.try_emplace(static_cast<size_t>(at - entries_.begin()));
            if (added) name->second = demangled(at->name.c_str());
            return Symbol{name->second.c_str(), at->address};
        }
    }
    return std::nullopt;
}

}  // namespace duvidu
