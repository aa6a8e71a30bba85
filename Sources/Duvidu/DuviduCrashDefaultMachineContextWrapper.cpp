#include "Duvidu/DuviduCrashDefaultMachineContextWrapper.h"

#include "DuviduCrash/Recording/Tools/DuviduCrashThread.h"

namespace duvidu {

void DuviduCrashDefaultMachineContextWrapper::fillContextForCurrentThread(DuviduCrashMachineContext* context)
{
    duviducrashmc_getContextForThread(duviducrashthread_self(), context, true);
}

int DuviduCrashDefaultMachineContextWrapper::getThreadCount(const DuviduCrashMachineContext* context)
{
    return context->threadCount;
}

pid_t DuviduCrashDefaultMachineContextWrapper::getThread(const DuviduCrashMachineContext* context, int index)
{
    return index >= 0 && index < context->threadCount ? context->allThreads[index] : 0;
}

bool DuviduCrashDefaultMachineContextWrapper::getThreadName(pid_t thread, char* buffer, int bufLength)
{
    return bufLength > 0 && duviducrashthread_getThreadName(thread, buffer, static_cast<size_t>(bufLength));
}

bool DuviduCrashDefaultMachineContextWrapper::isMainThread(pid_t thread)
{
    return duviducrashthread_isMainThread(thread);
}

}  // namespace duvidu
