#pragma once

#include "DuviduCrash/Recording/DuviduCrashMonitorContext.h"

namespace duvidu {

// The crash report, a JSON object written by the crashing process itself:
//   "report": {"id", "timestamp" (seconds since 1970), "pid", "session_id" (the session the process ran; absent when
//              it ran none)}
//   "crash": {"type" ("signal" or "cpp_exception"), "thread" (index into "threads"), "address" (faulting address),
//             "signal": {"number", "code", "name", "code_name"}, "cpp_exception": {"type", "reason"}}
//   "threads": [{"tid", "name", "main", "crashed", "backtrace" (crashed thread only):
//               {"first_exact", "frames": [{"address", "image" (index into "images"), "offset" (from the image)}]}}]
//   "images": [{"path", "address", "vmaddr", "size", "build_id" (hexadecimal, first 16 bytes)}]
//   "user_info": the crash integration's user info; "scope": the scope as the crash handler's copy held it.
// Addresses of frames outside every known image have no "image" and "offset".
class DuviduCrashReport {
public:
    DuviduCrashReport() = delete;

    // Writes the report for the context into the file descriptor. Safe in a signal handler.
    static bool write(int fileDescriptor, const char* reportId, const DuviduCrashMonitorContext& context);
};

}  // namespace duvidu
