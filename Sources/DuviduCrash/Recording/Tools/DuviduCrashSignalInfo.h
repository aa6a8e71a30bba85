#pragma once

namespace duvidu {

// The signals that end the process as a crash, and their names. Constant tables only: safe in a signal handler.

// SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS and SIGTRAP. Signals that ask the process to stop (SIGTERM,
// SIGINT) or tell it of a closed pipe (SIGPIPE) are not crashes.
const int* duviducrashsignal_fatalSignals();
int duviducrashsignal_numFatalSignals();

// "SIGSEGV" and so on; nullptr for a signal not in the table.
const char* duviducrashsignal_signalName(int signal);
// The name of the signal's si_code, such as "SEGV_MAPERR"; nullptr when the code has none.
const char* duviducrashsignal_signalCodeName(int signal, int code);

}  // namespace duvidu
