#pragma once

#include "Duvidu/DuviduCrashMachineContextWrapper.h"

namespace duvidu {

// The machine context of the crash core: threads from /proc/self/task, names from each thread's comm, the main
// thread the one whose id is the process id.
class DuviduCrashDefaultMachineContextWrapper : public DuviduCrashMachineContextWrapper {
public:
    void fillContextForCurrentThread(DuviduCrashMachineContext* context) override;
    int getThreadCount(const DuviduCrashMachineContext* context) override;
    pid_t getThread(const DuviduCrashMachineContext* context, int index) override;
    bool getThreadName(pid_t thread, char* buffer, int bufLength) override;
    bool isMainThread(pid_t thread) override;
};

}  // namespace duvidu
