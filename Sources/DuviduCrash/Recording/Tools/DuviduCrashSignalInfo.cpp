#include "DuviduCrash/Recording/Tools/DuviduCrashSignalInfo.h"

#include <signal.h>

namespace duvidu {

namespace {

struct CodeName {
    int code;
    const char* name;
};

struct SignalInfo {
    int signal;
    const char* name;
    const CodeName* codes;
    int codeCount;
};

#define DUVIDU_CODE(code) {code, #code}

const CodeName kSegvCodes[] = {DUVIDU_CODE(SEGV_MAPERR), DUVIDU_CODE(SEGV_ACCERR)};
const CodeName kBusCodes[] = {DUVIDU_CODE(BUS_ADRALN), DUVIDU_CODE(BUS_ADRERR), DUVIDU_CODE(BUS_OBJERR)};
const CodeName kIllCodes[] = {DUVIDU_CODE(ILL_ILLOPC), DUVIDU_CODE(ILL_ILLOPN), DUVIDU_CODE(ILL_ILLADR),
                              DUVIDU_CODE(ILL_ILLTRP), DUVIDU_CODE(ILL_PRVOPC), DUVIDU_CODE(ILL_PRVREG),
                              DUVIDU_CODE(ILL_COPROC), DUVIDU_CODE(ILL_BADSTK)};
const CodeName kFpeCodes[] = {DUVIDU_CODE(FPE_INTDIV), DUVIDU_CODE(FPE_INTOVF), DUVIDU_CODE(FPE_FLTDIV),
                              DUVIDU_CODE(FPE_FLTOVF), DUVIDU_CODE(FPE_FLTUND), DUVIDU_CODE(FPE_FLTRES),
                              DUVIDU_CODE(FPE_FLTINV), DUVIDU_CODE(FPE_FLTSUB)};
const CodeName kTrapCodes[] = {DUVIDU_CODE(TRAP_BRKPT), DUVIDU_CODE(TRAP_TRACE)};
// Codes that tell who sent a signal rather than what faulted; the same for every signal.
const CodeName kSenderCodes[] = {DUVIDU_CODE(SI_USER), DUVIDU_CODE(SI_KERNEL), DUVIDU_CODE(SI_QUEUE),
                                 DUVIDU_CODE(SI_TKILL)};

#undef DUVIDU_CODE

template <int N>
constexpr int count(const CodeName (&)[N])
{
    return N;
}

const SignalInfo kSignals[] = {
    {SIGABRT, "SIGABRT", nullptr, 0},
    {SIGBUS, "SIGBUS", kBusCodes, count(kBusCodes)},
    {SIGFPE, "SIGFPE", kFpeCodes, count(kFpeCodes)},
    {SIGILL, "SIGILL", kIllCodes, count(kIllCodes)},
    {SIGSEGV, "SIGSEGV", kSegvCodes, count(kSegvCodes)},
    {SIGSYS, "SIGSYS", nullptr, 0},
    {SIGTRAP, "SIGTRAP", kTrapCodes, count(kTrapCodes)},
};

const int kFatalSignals[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP};

const SignalInfo* find(int signal)
{
    for (const auto& info : kSignals) {
        if (info.signal == signal) return &info;
    }
    return nullptr;
}

}  // namespace

const int* duviducrashsignal_fatalSignals()
{
    return kFatalSignals;
}

int duviducrashsignal_numFatalSignals()
{
    return static_cast<int>(sizeof kFatalSignals / sizeof kFatalSignals[0]);
}

const char* duviducrashsignal_signalName(int signal)
{
    const SignalInfo* info = find(signal);
    return info ? info->name : nullptr;
}

const char* duviducrashsignal_signalCodeName(int signal, int code)
{
    // A code above 0 comes from the kernel and means something per signal; the others name the sender.
    if (code > 0 && code != SI_KERNEL) {
        const SignalInfo* info = find(signal);
        for (int i = 0; info && i < info->codeCount; ++i) {
            if (info->codes[i].code == code) return info->codes[i].name;
        }
        return nullptr;
    }
    for (const auto& sender : kSenderCodes) {
        if (sender.code == code) return sender.name;
    }
    return nullptr;
}

}  // namespace duvidu
