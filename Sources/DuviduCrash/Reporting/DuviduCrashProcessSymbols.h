#pragma once

#include "DuviduCrash/Recording/Tools/DuviduCrashStackCursor.h"

namespace duvidu {

// Names the frames of this process's own stacks as a crash report's are named: from the symbol tables of the image's
// file, when the file still has the build id of the image in memory, demangled. The signal-safe symbolication knows
// only an image's exported functions, under their mangled names. Not for signal handlers, nor while threads are
// suspended: the first frame of an image reads its file (once per process).
class DuviduCrashProcessSymbols {
public:
    DuviduCrashProcessSymbols() = delete;

    // Sets the entry's symbol name and address from its image's file; leaves the entry as it is when the file cannot
    // tell. exact: the address is where the thread stands (the first frame of an interrupted thread), not a return
    // address.
    static void nameEntry(DuviduCrashStackEntry& entry, bool exact);
};

}  // namespace duvidu
