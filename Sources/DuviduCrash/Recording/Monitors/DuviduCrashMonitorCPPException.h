#pragma once

namespace duvidu {

// The monitor of uncaught C++ exceptions: a terminate handler that reports the exception's demangled type and its
// what() with the stack it was thrown from, then hands over to the terminate handler it replaced, which ends the
// process by abort (the signal monitor sees that abort and writes nothing more). A terminate without an exception is
// left to that abort.

// Installs the terminate handler, keeping the one it replaces. Does nothing when installed already.
void duviducrashmonitor_cppexception_install();
// Puts the replaced terminate handler back. Does nothing when not installed.
void duviducrashmonitor_cppexception_uninstall();
bool duviducrashmonitor_cppexception_isInstalled();

}  // namespace duvidu
