#include "DuviduCrash/Recording/Tools/DuviduCrashAlternateStack.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>

namespace duvidu {

namespace {

constexpr size_t kStackSize = 64 * 1024;

// The thread's own stack, mapped on first use and unmapped when the thread ends, unless someone replaced it since.
class AlternateStack {
public:
    void ensure()
    {
        if (mapping_) return;
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) && current.ss_size >= kStackSize)
            return;
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* mapping = mmap(nullptr, kStackSize + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) return;
        mprotect(mapping, page, PROT_NONE);  // an overflow of the handler's own stack faults instead of spilling
        stack_t stack{};
        stack.ss_sp = static_cast<char*>(mapping) + page;
        stack.ss_size = kStackSize;
        if (sigaltstack(&stack, nullptr) != 0) {
            munmap(mapping, kStackSize + page);
            return;
        }
        mapping_ = mapping;
        mappingSize_ = kStackSize + page;
        stackBase_ = stack.ss_sp;
    }

    ~AlternateStack()
    {
        if (!mapping_) return;
        stack_t current{};
        if (sigaltstack(nullptr, &current) != 0 || current.ss_sp != stackBase_) return;  // someone else's now
        if (current.ss_flags & SS_ONSTACK) return;                                        // in use: leave it
        stack_t disable{};
        disable.ss_flags = SS_DISABLE;
        if (sigaltstack(&disable, nullptr) == 0) munmap(mapping_, mappingSize_);
    }

private:
    void* mapping_ = nullptr;
    size_t mappingSize_ = 0;
    void* stackBase_ = nullptr;
};

}  // namespace

void duviducrashstack_ensureAlternateStack()
{
    thread_local AlternateStack stack;
    stack.ensure();
}

}  // namespace duvidu
