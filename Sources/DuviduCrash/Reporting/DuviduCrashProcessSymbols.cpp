#include "DuviduCrash/Reporting/DuviduCrashProcessSymbols.h"

#include "DuviduCrash/Recording/DuviduCrashBinaryImageCache.h"
#include "DuviduCrash/Reporting/DuviduCrashImageSymbols.h"

namespace duvidu {

void DuviduCrashProcessSymbols::nameEntry(DuviduCrashStackEntry& entry, bool exact)
{
    if (entry.address == kDuviduCrashAsyncMarkerAddress) return;
    // A return address points just past its call, which may already be the next function.
    const uint64_t address = exact || entry.address == 0 ? entry.address : entry.address - 1;
    const auto* image = DuviduCrashBinaryImageCache::imageContaining(DuviduCrashBinaryImageCache::current(), address);
    if (!image || !image->hasUuid || !image->record.name) return;
    auto symbols = DuviduCrashImageSymbols::shared(image->record.name,
                                                   DuviduCrashImageSymbols::buildIdText(image->uuidBytes));
    auto symbol = symbols ? symbols->symbolContaining(address - image->record.address + image->record.vmAddress)
                          : std::nullopt;
    if (!symbol) return;
    entry.symbolName = symbol->name;
    entry.symbolAddress = image->record.address + (symbol->address - image->record.vmAddress);
}

}  // namespace duvidu
