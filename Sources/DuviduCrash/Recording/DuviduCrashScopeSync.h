#pragma once

#include <cstddef>

namespace duvidu {

class DuviduCrashReportWriter;

// The crash handler's copy of the scope: one NUL-terminated JSON text per field and a ring of breadcrumb texts, and
// the user info that the crash integration writes once (the whole scope with the release and dist).
// Writers (the scope observer, on any thread) publish a new text by swapping an atomic pointer; the crash handler
// reads the current texts without a lock or an allocation. A replaced text is freed at once unless a crash handler is
// reading at that moment; then it is left alone, as the process is about to end.
class DuviduCrashScopeSync {
public:
    enum Field { User, Dist, Context, Environment, Tags, Extras, Fingerprint, Level, UserInfo, FieldCount };

    DuviduCrashScopeSync() = delete;

    // The key a field is written under in a crash report: "user", "dist", "context", "environment", "tags", "extra",
    // "fingerprint", "level"; the user info under "user_info".
    static const char* keyOfField(Field field);

    // Copies the JSON text; nullptr makes the field unset.
    static void setField(Field field, const char* json, size_t length);

    // Room for the newest `capacity` breadcrumbs; empties the ring when the capacity changes.
    static void setBreadcrumbCapacity(size_t capacity);
    static void addBreadcrumb(const char* json, size_t length);
    static void clearBreadcrumbs();
    // Unsets every field of the scope (not the user info) and empties the ring.
    static void clear();

    // Writes every set field of the scope under its key, then "breadcrumbs" (oldest first) when there are any, as
    // members of the object the writer has open. Safe in a signal handler.
    static void writeScope(DuviduCrashReportWriter& writer);
    // Writes the field under its key when it is set. Safe in a signal handler.
    static void writeField(DuviduCrashReportWriter& writer, Field field);
};

}  // namespace duvidu
