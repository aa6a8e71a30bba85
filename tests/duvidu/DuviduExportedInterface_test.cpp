// What programs built against an earlier release of libduvidu.so.8 rely on: the symbols they call and the table of
// virtual functions of the classes they may subclass.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "Duvidu/DuviduCrashWrapper.h"

using duvidu::DuviduCrashWrapper;

namespace {

// The slot of a virtual function in its class's table: its pointer to member holds 1 + the slot's byte offset
// (Itanium C++ ABI, x86-64).
template <class Function>
ptrdiff_t slotOf(Function function)
{
    ptrdiff_t raw = 0;
    std::memcpy(&raw, &function, sizeof raw);
    return (raw - 1) / static_cast<ptrdiff_t>(sizeof(void*));
}

// A caller's subclass: its own first virtual function follows the base's last.
struct CallersCrashWrapper : DuviduCrashWrapper {
    virtual void ownFunction() {}
};

TEST(DuviduExportedInterface, KeepsTheEarlierCloseWithoutArguments)
{
    for (const char* symbol :
         {"_ZN6duvidu9DuviduSDK5closeEv", "_ZN6duvidu9DuviduHub5closeEv", "_ZN6duvidu12DuviduClient5closeEv"})
        EXPECT_NE(dlsym(RTLD_DEFAULT, symbol), nullptr) << symbol;
}

TEST(DuviduExportedInterface, DuviduCrashWrapperKeepsItsVirtualFunctionsAndSize)
{
    // Slots 0 and 1 are the destructor's; a subclass's members follow the table pointer.
    EXPECT_EQ(slotOf(&DuviduCrashWrapper::crashedLastLaunch), 2);
    EXPECT_EQ(slotOf(&DuviduCrashWrapper::activeDurationSinceLastCrash), 3);
    EXPECT_EQ(slotOf(&DuviduCrashWrapper::isBeingTraced), 4);
    EXPECT_EQ(slotOf(&DuviduCrashWrapper::freeMemorySize), 5);
    EXPECT_EQ(slotOf(&DuviduCrashWrapper::freeStorageSize), 6);
    EXPECT_EQ(slotOf(&DuviduCrashWrapper::appMemorySize), 7);
    EXPECT_EQ(slotOf(&CallersCrashWrapper::ownFunction), 8);
    EXPECT_EQ(sizeof(DuviduCrashWrapper), sizeof(void*));
}

}  // namespace
