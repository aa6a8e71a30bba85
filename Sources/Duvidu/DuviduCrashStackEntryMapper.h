#pragma once

#include <memory>

#include "Duvidu/DuviduFrame.h"
#include "Duvidu/DuviduInAppLogic.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashStackCursor.h"

namespace duvidu {

// Turns the crash core's stack entries into frames.
class DuviduCrashStackEntryMapper {
public:
    // ObjC: -[DuviduCrashStackEntryMapper initWithInAppLogic:]
    explicit DuviduCrashStackEntryMapper(std::shared_ptr<const DuviduInAppLogic> inAppLogic);

    // ObjC: -[DuviduCrashStackEntryMapper duviduCrashStackEntryToDuviduFrame:] — the three addresses as
    // "0x%016llx"; the function from the symbol name and the package from the image name, each when present and
    // UTF-8; in app only when there is a package.
    DuviduFrame duviduCrashStackEntryToDuviduFrame(const DuviduCrashStackEntry& stackEntry) const;
    // ObjC: -[DuviduCrashStackEntryMapper mapStackEntryWithCursor:] — the cursor's current entry.
    DuviduFrame mapStackEntryWithCursor(const DuviduCrashStackCursor& stackCursor) const;

    // An address as frames and debug images write it, so that the two can be matched by their text.
    static std::string formatAddress(uint64_t address);

private:
    std::shared_ptr<const DuviduInAppLogic> inAppLogic_;
};

}  // namespace duvidu
