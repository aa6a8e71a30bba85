#include "DuviduCrash/Recording/Tools/DuviduCrashThread.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

namespace duvidu {

namespace {

// "/proc/self/task/<id>/<leaf>" without printf, which is not safe in a signal handler.
void taskPath(pid_t thread, const char* leaf, char (&path)[64])
{
    char digits[16];
    int count = 0;
    unsigned value = static_cast<unsigned>(thread);
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    char* out = path;
    for (const char* p = "/proc/self/task/"; *p;) *out++ = *p++;
    while (count > 0) *out++ = digits[--count];
    *out++ = '/';
    for (const char* p = leaf; *p;) *out++ = *p++;
    *out = '\0';
}

// The hexadecimal signal mask that follows "<key>:" in /proc status text.
bool maskField(const char* text, const char* key, unsigned long long* mask)
{
    const size_t keyLength = std::strlen(key);
    for (const char* line = text; *line;) {
        if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == ':') {
            const char* digit = line + keyLength + 1;
            while (*digit == '\t' || *digit == ' ') ++digit;
            unsigned long long value = 0;
            for (;; ++digit) {
                char c = *digit;
                int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
                if (nibble < 0) break;
                value = value << 4 | static_cast<unsigned>(nibble);
            }
            *mask = value;
            return true;
        }
        const char* next = std::strchr(line, '\n');
        if (!next) break;
        line = next + 1;
    }
    return false;
}

}  // namespace

pid_t duviducrashthread_self()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

bool duviducrashthread_isMainThread(pid_t thread)
{
    return thread == getpid();
}

int duviducrashthread_listThreads(pid_t* threads, int capacity)
{
    int directory = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return -1;
    int total = 0;
    alignas(struct dirent64) char buffer[4096];
    for (;;) {
        long length = syscall(SYS_getdents64, directory, buffer, sizeof buffer);
        if (length < 0) {
            total = -1;
            break;
        }
        if (length == 0) break;
        for (long at = 0; at < length;) {
            auto entry = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += entry->d_reclen;
            pid_t id = 0;
            const char* name = entry->d_name;
            if (*name < '0' || *name > '9') continue;  // "." and ".."
            for (; *name >= '0' && *name <= '9'; ++name) id = id * 10 + (*name - '0');
            if (total < capacity) threads[total] = id;
            ++total;
        }
    }
    close(directory);
    return total;
}

bool duviducrashthread_getThreadName(pid_t thread, char* buffer, size_t length)
{
    char path[64];
    taskPath(thread, "comm", path);
    int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    char name[32];
    ssize_t count = read(file, name, sizeof name);
    close(file);
    if (count <= 0) return false;
    if (name[count - 1] == '\n') --count;
    if (static_cast<size_t>(count) + 1 > length) return false;
    std::memcpy(buffer, name, static_cast<size_t>(count));
    buffer[count] = '\0';
    return true;
}

bool duviducrashthread_isSignalHeldOff(pid_t thread, int signal)
{
    char path[64];
    taskPath(thread, "status", path);
    int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) return true;
    char text[4096];
    size_t length = 0;
    for (ssize_t count; length < sizeof text - 1 &&
                        (count = read(file, text + length, sizeof text - 1 - length)) > 0;)
        length += static_cast<size_t>(count);
    close(file);
    text[length] = '\0';
    unsigned long long blocked = 0, pending = 0;
    if (!maskField(text, "SigBlk", &blocked) || !maskField(text, "ShdPnd", &pending)) return true;
    const unsigned long long bit = 1ULL << (signal - 1);
    return ((blocked | pending) & bit) != 0;
}

}  // namespace duvidu
