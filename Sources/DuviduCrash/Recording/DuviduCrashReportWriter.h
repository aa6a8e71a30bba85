#pragma once

#include <cstddef>
#include <cstdint>

namespace duvidu {

// Writes compact JSON straight into a file descriptor through a fixed buffer of its own. Safe in a signal handler:
// no allocation, no lock, no stdio, only write(2). Commas between members are placed by the writer; keys are given
// for members of objects and are nullptr for elements of arrays. Text that is not valid UTF-8 is written with the
// replacement character in place of each bad byte, so that the result always parses.
class DuviduCrashReportWriter {
public:
    explicit DuviduCrashReportWriter(int fileDescriptor);
    DuviduCrashReportWriter(const DuviduCrashReportWriter&) = delete;
    DuviduCrashReportWriter& operator=(const DuviduCrashReportWriter&) = delete;

    void beginObject(const char* key);
    void endContainer();
    void beginArray(const char* key);

    // A missing text is written as null.
    void addString(const char* key, const char* value);
    // At most length bytes of the text, stopping early at a NUL.
    void addString(const char* key, const char* value, size_t length);
    void addInteger(const char* key, int64_t value);
    void addUnsigned(const char* key, uint64_t value);
    // The value with three decimals, enough for durations in seconds.
    void addMilli(const char* key, int64_t thousandths);
    void addBoolean(const char* key, bool value);
    void addNull(const char* key);
    // Text that already is JSON, copied as it is; null when there is none.
    void addJSON(const char* key, const char* json);

    // Writes out what the buffer holds; false once any write failed.
    bool flush();

private:
    static constexpr int kMaxDepth = 32;
    static constexpr size_t kBufferSize = 4096;

    void open(const char* key, bool isArray);
    void beginMember(const char* key);
    void put(char c);
    void put(const char* text);
    void putEscaped(const char* text, size_t length);
    void putUnsigned(uint64_t value);

    int fileDescriptor_;
    bool failed_ = false;
    int depth_ = 0;
    // Per open container, the outermost value at 0: whether it already holds a member, and its kind. Containers
    // nested deeper than kMaxDepth are not supported.
    bool hasMembers_[kMaxDepth + 1] = {};
    bool isArray_[kMaxDepth + 1] = {};
    size_t used_ = 0;
    char buffer_[kBufferSize];
};

}  // namespace duvidu
