#include "DuviduCrash/Recording/DuviduCrashScopeSync.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "DuviduCrash/Recording/DuviduCrashReportWriter.h"

namespace duvidu {

namespace {

struct Ring {
    explicit Ring(size_t size) : capacity(size), slots(new std::atomic<char*>[size == 0 ? 1 : size]()) {}
    const size_t capacity;
    std::atomic<char*>* const slots;
    std::atomic<uint64_t> next{0};
};

std::atomic<char*> g_fields[DuviduCrashScopeSync::FieldCount];
std::atomic<Ring*> g_ring{nullptr};
// How many crash handlers are reading the texts right now. Set before the first pointer is read, so that a writer
// that sees 0 after its swap knows no handler holds the old text.
std::atomic<int> g_readers{0};

const char* const kKeys[DuviduCrashScopeSync::FieldCount] = {
    "user", "dist", "context", "environment", "tags", "extra", "fingerprint", "level", "user_info",
};

char* copyText(const char* json, size_t length)
{
    if (!json) return nullptr;
    auto* text = static_cast<char*>(std::malloc(length + 1));
    if (!text) return nullptr;
    std::memcpy(text, json, length);
    text[length] = '\0';
    return text;
}

void release(char* old)
{
    if (old && g_readers.load() == 0) std::free(old);
}

void swapIn(std::atomic<char*>& slot, char* text)
{
    release(slot.exchange(text));
}

void emptyRing(Ring* ring)
{
    if (!ring) return;
    for (size_t i = 0; i < ring->capacity; ++i) swapIn(ring->slots[i], nullptr);
    ring->next.store(0);
}

}  // namespace

const char* DuviduCrashScopeSync::keyOfField(Field field)
{
    return kKeys[field];
}

void DuviduCrashScopeSync::setField(Field field, const char* json, size_t length)
{
    swapIn(g_fields[field], copyText(json, length));
}

void DuviduCrashScopeSync::setBreadcrumbCapacity(size_t capacity)
{
    Ring* current = g_ring.load();
    if (current && current->capacity == capacity) return;
    Ring* old = g_ring.exchange(new Ring(capacity));
    if (!old) return;
    emptyRing(old);
    // A handler may still walk the old ring's slots: the ring itself stays, its texts are gone or left to the
    // handler.
    if (g_readers.load() == 0) {
        delete[] old->slots;
        delete old;
    }
}

void DuviduCrashScopeSync::addBreadcrumb(const char* json, size_t length)
{
    Ring* ring = g_ring.load();
    if (!ring || ring->capacity == 0) return;
    const uint64_t index = ring->next.load();
    swapIn(ring->slots[index % ring->capacity], copyText(json, length));
    ring->next.store(index + 1);
}

void DuviduCrashScopeSync::clearBreadcrumbs()
{
    emptyRing(g_ring.load());
}

void DuviduCrashScopeSync::clear()
{
    for (int field = 0; field < UserInfo; ++field) swapIn(g_fields[field], nullptr);
    clearBreadcrumbs();
}

void DuviduCrashScopeSync::writeField(DuviduCrashReportWriter& writer, Field field)
{
    g_readers.fetch_add(1);
    const char* text = g_fields[field].load();
    if (text) writer.addJSON(kKeys[field], text);
    g_readers.fetch_sub(1);
}

void DuviduCrashScopeSync::writeScope(DuviduCrashReportWriter& writer)
{
    g_readers.fetch_add(1);
    for (int field = 0; field < UserInfo; ++field) {
        const char* text = g_fields[field].load();
        if (text) writer.addJSON(kKeys[field], text);
    }
    Ring* ring = g_ring.load();
    const uint64_t next = ring ? ring->next.load() : 0;
    if (next > 0) {
        const uint64_t count = next < ring->capacity ? next : ring->capacity;
        writer.beginArray("breadcrumbs");
        for (uint64_t i = next - count; i < next; ++i) {
            const char* text = ring->slots[i % ring->capacity].load();
            if (text) writer.addJSON(nullptr, text);
        }
        writer.endContainer();
    }
    g_readers.fetch_sub(1);
}

}  // namespace duvidu
