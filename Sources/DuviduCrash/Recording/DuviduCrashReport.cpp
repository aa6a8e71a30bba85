#include "DuviduCrash/Recording/DuviduCrashReport.h"

#include <time.h>
#include <unistd.h>

#include "DuviduCrash/Recording/DuviduCrashBinaryImageCache.h"
#include "DuviduCrash/Recording/DuviduCrashReportWriter.h"
#include "DuviduCrash/Recording/DuviduCrashScopeSync.h"
#include "DuviduCrash/Recording/DuviduCrashState.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashMachineContext.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashSignalInfo.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashThread.h"

namespace duvidu {

namespace {

using Snapshot = DuviduCrashBinaryImageCache::Snapshot;

int64_t nowInMilliseconds()
{
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void writeCrash(DuviduCrashReportWriter& writer, const DuviduCrashMonitorContext& context, int crashedIndex)
{
    writer.beginObject("crash");
    writer.addString("type", context.crashType == DuviduCrashType::CPPException ? "cpp_exception" : "signal");
    writer.addInteger("thread", crashedIndex);
    writer.addUnsigned("address", context.faultAddress);
    writer.beginObject("signal");
    writer.addInteger("number", context.signal);
    writer.addInteger("code", context.signalCode);
    writer.addString("name", duviducrashsignal_signalName(context.signal));
    writer.addString("code_name", duviducrashsignal_signalCodeName(context.signal, context.signalCode));
    writer.endContainer();
    if (context.crashType == DuviduCrashType::CPPException) {
        writer.beginObject("cpp_exception");
        writer.addString("type", context.exceptionType);
        writer.addString("reason", context.exceptionReason);
        writer.endContainer();
    }
    writer.endContainer();
}

int imageIndex(const Snapshot* snapshot, const DuviduCrashBinaryImageCache::Image* image)
{
    return static_cast<int>(image - snapshot->images.data());
}

void writeBacktrace(DuviduCrashReportWriter& writer, const Snapshot* snapshot,
                    const DuviduCrashMonitorContext& context)
{
    writer.beginObject("backtrace");
    writer.addBoolean("first_exact", context.firstAddressIsExact);
    writer.beginArray("frames");
    for (int i = 0; i < context.backtraceLength; ++i) {
        const uintptr_t address = context.backtrace[i];
        // A return address may lie just past the end of its caller's image.
        const bool exact = i == 0 && context.firstAddressIsExact;
        const auto* image = DuviduCrashBinaryImageCache::imageContaining(snapshot, exact ? address : address - 1);
        writer.beginObject(nullptr);
        writer.addUnsigned("address", address);
        if (image) {
            writer.addInteger("image", imageIndex(snapshot, image));
            writer.addUnsigned("offset", address - image->record.address);
        }
        writer.endContainer();
    }
    writer.endContainer();
    writer.endContainer();
}

void writeThread(DuviduCrashReportWriter& writer, pid_t thread, const Snapshot* snapshot,
                 const DuviduCrashMonitorContext& context)
{
    const bool crashed = thread == context.crashedThread;
    writer.beginObject(nullptr);
    writer.addInteger("tid", thread);
    char name[32];
    if (duviducrashthread_getThreadName(thread, name, sizeof name)) writer.addString("name", name);
    writer.addBoolean("main", duviducrashthread_isMainThread(thread));
    writer.addBoolean("crashed", crashed);
    if (crashed) writeBacktrace(writer, snapshot, context);
    writer.endContainer();
}

void writeImages(DuviduCrashReportWriter& writer, const Snapshot* snapshot)
{
    static constexpr char hex[] = "0123456789abcdef";
    writer.beginArray("images");
    for (size_t i = 0; snapshot && i < snapshot->images.size(); ++i) {
        const auto& record = snapshot->images[i].record;
        writer.beginObject(nullptr);
        writer.addString("path", record.name);
        writer.addUnsigned("address", record.address);
        writer.addUnsigned("vmaddr", record.vmAddress);
        writer.addUnsigned("size", record.size);
        if (record.uuid) {
            char buildId[33];
            for (int b = 0; b < 16; ++b) {
                buildId[2 * b] = hex[record.uuid[b] >> 4];
                buildId[2 * b + 1] = hex[record.uuid[b] & 0x0F];
            }
            buildId[32] = '\0';
            writer.addString("build_id", buildId);
        }
        writer.endContainer();
    }
    writer.endContainer();
}

}  // namespace

bool DuviduCrashReport::write(int fileDescriptor, const char* reportId, const DuviduCrashMonitorContext& context)
{
    const Snapshot* snapshot = DuviduCrashBinaryImageCache::current();
    pid_t threads[DuviduCrashMachineContext::kMaxThreads];
    int count = duviducrashthread_listThreads(threads, DuviduCrashMachineContext::kMaxThreads);
    if (count > DuviduCrashMachineContext::kMaxThreads) count = DuviduCrashMachineContext::kMaxThreads;
    if (count < 0) count = 0;
    // The crashed thread is always listed, in place of the last one when the list is cut or cannot be read.
    int crashedIndex = -1;
    for (int i = 0; i < count; ++i) {
        if (threads[i] == context.crashedThread) crashedIndex = i;
    }
    if (crashedIndex < 0) {
        crashedIndex = count < DuviduCrashMachineContext::kMaxThreads ? count++ : count - 1;
        threads[crashedIndex] = context.crashedThread;
    }

    DuviduCrashReportWriter writer(fileDescriptor);
    writer.beginObject(nullptr);
    writer.beginObject("report");
    writer.addString("id", reportId);
    writer.addMilli("timestamp", nowInMilliseconds());
    writer.addInteger("pid", getpid());
    if (const char* sessionId = DuviduCrashState::currentSessionId(); sessionId[0] != '\0')
        writer.addString("session_id", sessionId);
    writer.endContainer();
    writeCrash(writer, context, crashedIndex);
    writer.beginArray("threads");
    for (int i = 0; i < count; ++i) writeThread(writer, threads[i], snapshot, context);
    writer.endContainer();
    writeImages(writer, snapshot);
    DuviduCrashScopeSync::writeField(writer, DuviduCrashScopeSync::UserInfo);
    writer.beginObject("scope");
    DuviduCrashScopeSync::writeScope(writer);
    writer.endContainer();
    writer.endContainer();
    return writer.flush();
}

}  // namespace duvidu
