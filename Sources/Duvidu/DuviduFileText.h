#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "Duvidu/DuviduData.h"

namespace duvidu {

// Every file the SDK reads goes through one checked reader, so that no file in its folders can block the process or
// exhaust its memory: the file is opened without blocking (a named pipe cannot hold the open up), must be a regular
// file once links are followed (not a pipe, socket, device or folder) and may not hold more than a limit of bytes,
// which is checked before and while reading.
enum class DuviduFileReadOutcome {
    Read,
    // No such file, or it cannot be opened (not ours to read).
    CannotOpen,
    // Not a regular file, larger than the limit, or a read failed: never read whole.
    Refused,
};

// The limits by kind: state files (sessions, application state, timestamps, crash state, lost-event counts) and the
// installation id; envelopes and crash reports, which the SDK also never writes larger; files of the system such as
// /proc/meminfo.
constexpr size_t kDuviduStateFileLimit = 16 * 1024;
constexpr size_t kDuviduEnvelopeFileLimit = 32 * 1024 * 1024;
constexpr size_t kDuviduSystemFileLimit = 1024 * 1024;

// Reads the whole file into bytes (cleared first); problem, when given, says why a file was refused.
DuviduFileReadOutcome duvidu_readFileChecked(const std::string& path, size_t limit, DuviduData& bytes,
                                             std::string* problem = nullptr);
// The same over a file just opened (read from where it stands).
DuviduFileReadOutcome duvidu_readOpenFileChecked(int file, size_t limit, DuviduData& bytes,
                                                 std::string* problem = nullptr);
// One of the SDK's own files: its bytes, or nullopt. A refused file is deleted, with a log line saying why, so that
// it cannot stand in the way again.
std::optional<DuviduData> duvidu_readOwnFile(const std::string& path, size_t limit);

// The whole content of a file of the system such as /proc/meminfo (at most kDuviduSystemFileLimit bytes); nullopt
// when it cannot be opened or is refused.
std::optional<std::string> duvidu_readTextFile(const char* path);

// Writes every byte to the open file, writing again after a partial or interrupted write. False when a write fails,
// with errno telling why (EIO when a write took nothing).
bool duvidu_writeAll(int file, const void* bytes, size_t size);

// Writes the bytes to a new hidden file beside `path` (readable by the owner only) and renames it over `path`, so
// that readers see the whole file or none, even when the process dies while writing. The hidden file is locked
// (flock) while it is written, so that a file left by a writer that died can be told from one being written. On
// failure nothing is left behind and errorText, when given, holds the reason.
bool duvidu_writeFileAtomically(const std::string& path, const DuviduData& data, std::string* errorText = nullptr);

}  // namespace duvidu
