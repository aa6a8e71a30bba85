#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/ReadableFile.h"

// Whole-file reads and writes with the two write modes the application stores its files in. Every failure is thrown
// as std::filesystem::filesystem_error carrying the errno of the step that failed and the file's path.
class FileIO {
public:
    FileIO() = delete;

    // The bytes of `file`, a regular file within the size cap of its kind (see ReadableFile).
    static std::string read(const std::filesystem::path& file, ReadableFile::Kind kind);
    // Creates or truncates `file` and writes `bytes` into it in place: a failure may leave a partial file behind.
    static void writeInPlace(const std::filesystem::path& file, std::string_view bytes, mode_t mode = 0644);
    // Writes `bytes` to a new file beside `file`, flushes it to disk and renames it over `file`, so readers see the
    // old or the new contents and never a mix. Nothing is left behind on failure.
    static void writeAtomically(const std::filesystem::path& file, std::string_view bytes, mode_t mode = 0644);
    // Creates a new hidden file ".<name>.XXXXXX" beside `file` with `mode`, open for writing, and stores its path in
    // `path`: its descriptor, or -1 with errno set.
    static int createTempBeside(const std::filesystem::path& file, mode_t mode, std::filesystem::path& path);
};
