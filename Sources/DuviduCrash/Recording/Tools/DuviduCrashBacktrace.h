#pragma once

#include <cstdint>

namespace duvidu {

// Stack walking with the unwind tables of the loaded images (frame pointers are not kept by the system's
// libraries). Both walks are safe in a signal handler: they allocate nothing and write only into the given buffer.

// The calling thread's stack, innermost first, starting at the return address into the caller of this function;
// returns how many addresses were written.
int duviducrashbt_backtraceSelf(uintptr_t* addresses, int capacity);

// Called inside a signal handler: the stack of the code the signal interrupted, starting with the interrupted
// instruction. When no signal frame is on the stack (a sanitizer may run handlers later, from its own code) the walk
// starts at the handler's caller instead.
int duviducrashbt_backtraceInterrupted(uintptr_t* addresses, int capacity);

}  // namespace duvidu
