#include "DuviduCrash/Recording/Tools/DuviduCrashBacktrace.h"

#define UNW_LOCAL_ONLY
#include <libunwind.h>

namespace duvidu {

namespace {

// How far above the handler the signal frame may lie: the handler, a sanitizer's wrappers and the kernel's
// trampoline.
constexpr int kMaxFramesToSignalFrame = 32;

int collect(unw_cursor_t* cursor, uintptr_t* addresses, int capacity)
{
    int count = 0;
    while (count < capacity) {
        unw_word_t ip = 0;
        if (unw_get_reg(cursor, UNW_REG_IP, &ip) < 0 || ip == 0) break;
        addresses[count++] = ip;
        if (unw_step(cursor) <= 0) break;
    }
    return count;
}

}  // namespace

__attribute__((noinline)) int duviducrashbt_backtraceSelf(uintptr_t* addresses, int capacity)
{
    unw_context_t context;
    unw_cursor_t cursor;
    if (capacity <= 0 || unw_getcontext(&context) < 0 || unw_init_local(&cursor, &context) < 0) return 0;
    if (unw_step(&cursor) <= 0) return 0;
    return collect(&cursor, addresses, capacity);
}

__attribute__((noinline)) int duviducrashbt_backtraceInterrupted(uintptr_t* addresses, int capacity)
{
    unw_context_t context;
    unw_cursor_t cursor;
    if (capacity <= 0 || unw_getcontext(&context) < 0 || unw_init_local(&cursor, &context) < 0) return 0;
    bool atSignalFrame = false;
    for (int step = 0; step < kMaxFramesToSignalFrame && unw_step(&cursor) > 0; ++step) {
        if (unw_is_signal_frame(&cursor) > 0) {
            atSignalFrame = true;
            break;
        }
    }
    if (atSignalFrame) {
        if (unw_step(&cursor) <= 0) return 0;
    } else {
        if (unw_init_local(&cursor, &context) < 0 || unw_step(&cursor) <= 0) return 0;
    }
    return collect(&cursor, addresses, capacity);
}

namespace {

// The unwinder sets itself up on its first walk, and threads that walk for the first time at once race in that
// set-up. The first walk is made here, while the library loads and none of its threads runs yet.
[[maybe_unused]] const int g_unwinderReady = [] {
    uintptr_t addresses[4];
    return duviducrashbt_backtraceSelf(addresses, 4);
}();

}  // namespace

}  // namespace duvidu
