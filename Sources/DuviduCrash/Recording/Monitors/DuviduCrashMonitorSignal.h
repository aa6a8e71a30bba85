#pragma once

namespace duvidu {

// The monitor of fatal signals (see duviducrashsignal_fatalSignals). Its handler runs on the thread's alternate
// signal stack, writes the report through the crash monitor, puts every previous action back and raises the signal
// again, so that the process ends as it would have without the monitor (a parent sees the same signal).

// Installs the handler for every fatal signal, keeping the actions it replaces. Does nothing when installed already.
void duviducrashmonitor_signal_install();
// Puts the actions that the install replaced back. Does nothing when not installed. Safe in a signal handler.
void duviducrashmonitor_signal_uninstall();
bool duviducrashmonitor_signal_isInstalled();

}  // namespace duvidu
