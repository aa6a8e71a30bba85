#pragma once

namespace duvidu {

// A signal handler for a stack overflow can only run on a stack of its own: without one the kernel finds no room for
// the handler's frame and kills the process. Each thread needs its own.

// Gives the calling thread an alternate signal stack (64 KiB above a guard page) unless it already has one of at
// least that size; the stack is released when the thread ends. Not for signal handlers.
void duviducrashstack_ensureAlternateStack();

}  // namespace duvidu
