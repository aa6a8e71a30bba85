#include "DuviduCrash/Recording/DuviduCrashReportWriter.h"

#include <unistd.h>

#include <cerrno>

namespace duvidu {

namespace {

// The length of the well-formed UTF-8 sequence at text (which holds at least `available` bytes), or 0.
size_t utf8SequenceLength(const unsigned char* text, size_t available)
{
    const unsigned char lead = text[0];
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (available < length || text[1] < low || text[1] > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) return 0;
    }
    return length;
}

}  // namespace

DuviduCrashReportWriter::DuviduCrashReportWriter(int fileDescriptor) : fileDescriptor_(fileDescriptor) {}

bool DuviduCrashReportWriter::flush()
{
    size_t at = 0;
    while (at < used_ && !failed_) {
        ssize_t written = write(fileDescriptor_, buffer_ + at, used_ - at);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) failed_ = true;
        else at += static_cast<size_t>(written);
    }
    used_ = 0;
    return !failed_;
}

void DuviduCrashReportWriter::put(char c)
{
    if (used_ == kBufferSize) flush();
    buffer_[used_++] = c;
}

void DuviduCrashReportWriter::put(const char* text)
{
    while (*text) put(*text++);
}

void DuviduCrashReportWriter::putUnsigned(uint64_t value)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) put(digits[--count]);
}

void DuviduCrashReportWriter::putEscaped(const char* text, size_t length)
{
    static constexpr char hex[] = "0123456789abcdef";
    put('"');
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < length && bytes[i] != 0;) {
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            if (c == '"' || c == '\\') {
                put('\\');
                put(static_cast<char>(c));
            } else if (c < 0x20) {
                put("\\u00");
                put(hex[c >> 4]);
                put(hex[c & 0x0F]);
            } else {
                put(static_cast<char>(c));
            }
            ++i;
            continue;
        }
        size_t sequence = utf8SequenceLength(bytes + i, length - i);
        if (sequence == 0) {
            put("\\ufffd");
            ++i;
            continue;
        }
        for (size_t k = 0; k < sequence; ++k) put(static_cast<char>(bytes[i + k]));
        i += sequence;
    }
    put('"');
}

void DuviduCrashReportWriter::beginMember(const char* key)
{
    if (hasMembers_[depth_]) put(',');
    hasMembers_[depth_] = true;
    if (key) {
        putEscaped(key, static_cast<size_t>(-1));
        put(':');
    }
}

void DuviduCrashReportWriter::open(const char* key, bool isArray)
{
    if (depth_ > 0 || hasMembers_[0]) beginMember(key);
    hasMembers_[0] = true;  // the outermost value has no key and no comma before it
    put(isArray ? '[' : '{');
    if (depth_ < kMaxDepth) {
        ++depth_;
        hasMembers_[depth_] = false;
        isArray_[depth_] = isArray;
    }
}

void DuviduCrashReportWriter::beginObject(const char* key)
{
    open(key, false);
}

void DuviduCrashReportWriter::beginArray(const char* key)
{
    open(key, true);
}

void DuviduCrashReportWriter::endContainer()
{
    if (depth_ == 0) return;
    put(isArray_[depth_] ? ']' : '}');
    --depth_;
}

void DuviduCrashReportWriter::addString(const char* key, const char* value)
{
    addString(key, value, static_cast<size_t>(-1));
}

void DuviduCrashReportWriter::addString(const char* key, const char* value, size_t length)
{
    beginMember(key);
    if (value) putEscaped(value, length);
    else put("null");
}

void DuviduCrashReportWriter::addInteger(const char* key, int64_t value)
{
    beginMember(key);
    if (value < 0) {
        put('-');
        putUnsigned(static_cast<uint64_t>(-(value + 1)) + 1);
    } else {
        putUnsigned(static_cast<uint64_t>(value));
    }
}

void DuviduCrashReportWriter::addUnsigned(const char* key, uint64_t value)
{
    beginMember(key);
    putUnsigned(value);
}

void DuviduCrashReportWriter::addMilli(const char* key, int64_t thousandths)
{
    beginMember(key);
    if (thousandths < 0) {
        put('-');
        thousandths = -thousandths;
    }
    putUnsigned(static_cast<uint64_t>(thousandths) / 1000);
    put('.');
    const auto fraction = static_cast<unsigned>(static_cast<uint64_t>(thousandths) % 1000);
    put(static_cast<char>('0' + fraction / 100));
    put(static_cast<char>('0' + fraction / 10 % 10));
    put(static_cast<char>('0' + fraction % 10));
}

void DuviduCrashReportWriter::addBoolean(const char* key, bool value)
{
    beginMember(key);
    put(value ? "true" : "false");
}

void DuviduCrashReportWriter::addNull(const char* key)
{
    beginMember(key);
    put("null");
}

void DuviduCrashReportWriter::addJSON(const char* key, const char* json)
{
    beginMember(key);
    put(json && *json ? json : "null");
}

}  // namespace duvidu
