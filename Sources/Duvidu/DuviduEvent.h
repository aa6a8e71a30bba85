#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduBreadcrumb.h"
#include "Duvidu/DuviduDebugMeta.h"
#include "Duvidu/DuviduException.h"
#include "Duvidu/DuviduId.h"
#include "Duvidu/DuviduLevel.h"
#include "Duvidu/DuviduMessage.h"
#include "Duvidu/DuviduRequest.h"
#include "Duvidu/DuviduStacktrace.h"
#include "Duvidu/DuviduThread.h"
#include "Duvidu/DuviduUser.h"
#include "Duvidu/NSError.h"
#include "Duvidu/Value.h"

namespace duvidu {

// The unit the SDK reports: one captured error, exception, message or crash, and the base of a transaction. Held by
// std::shared_ptr; a transaction is a subclass with its own serialize. Built and read by one thread at a time.
class DuviduEvent {
public:
    // ObjC: -[DuviduEvent init] — level none.
    DuviduEvent();
    // ObjC: -[DuviduEvent initWithLevel:] — a new id, the level, platform "cocoa", the SDK clock's current date.
    explicit DuviduEvent(DuviduLevel level);
    // ObjC: -[DuviduEvent initWithError:] — level error, keeping a copy of the error.
    explicit DuviduEvent(const NSError& error);
    virtual ~DuviduEvent() = default;

    // True for events made from a crash report; not written.
    bool isCrashEvent = false;
    DuviduId eventId;
    std::optional<DuviduMessage> message;
    // The error the event was made from; not written.
    std::optional<NSError> error;
    std::optional<DuviduDate> timestamp;
    std::optional<DuviduDate> startTimestamp;
    DuviduLevel level = DuviduLevel::None;
    std::string platform = "cocoa";
    std::optional<std::string> logger;
    std::optional<std::string> serverName;
    std::optional<std::string> releaseName;
    std::optional<std::string> dist;
    std::optional<std::string> environment;
    std::optional<std::string> transaction;
    // "transaction" for transactions.
    std::optional<std::string> type;
    // Tag name to text; written unchanged, so it must hold texts only.
    std::optional<Value::Object> tags;
    // Any values; sanitized when written.
    std::optional<Value::Object> extra;
    std::optional<Value::Object> sdk;
    // Written unchanged.
    std::optional<Value::Object> modules;
    std::optional<std::vector<std::string>> fingerprint;
    std::optional<DuviduUser> user;
    // Context name ("device", "app", "os", "trace", ...) to its dictionary; sanitized when written.
    std::optional<Value::Object> context;
    std::optional<std::vector<DuviduThread>> threads;
    std::optional<std::vector<DuviduException>> exceptions;
    std::optional<DuviduStacktrace> stacktrace;
    std::optional<std::vector<DuviduDebugMeta>> debugMeta;
    std::optional<std::vector<DuviduBreadcrumb>> breadcrumbs;
    std::shared_ptr<DuviduRequest> request;
    // Breadcrumbs that exist only in their written form (taken from a crash report); written unchanged after
    // breadcrumbs.
    std::optional<std::vector<Value::Object>> serializedBreadcrumbs;
    // System-clock readings of a transaction; not written.
    uint64_t startSystemTime = 0;
    uint64_t endSystemTime = 0;

    // The event's JSON dictionary. Fills a missing timestamp on the event itself from the SDK clock. "tags",
    // "modules", "fingerprint" and the serialized breadcrumbs are not sanitized: a value JSON cannot hold there
    // makes the JSON writer refuse the whole dictionary.
    virtual Value::Object serialize();

protected:
    // "sdk", "release", "dist", "environment", "transaction", "fingerprint", "user", "modules", "stacktrace",
    // "breadcrumbs", "contexts", "message", "logger", "server_name", "type", "start_timestamp" (transactions only),
    // "request".
    void addSimpleProperties(Value::Object& json);
    // "threads", "exception" and "debug_meta", each only with at least one element.
    void addOptionalListProperties(Value::Object& json) const;
    void addThreads(Value::Object& json) const;
    void addExceptions(Value::Object& json) const;
    void addDebugImages(Value::Object& json) const;
    // The breadcrumbs written one by one, in order.
    Value::Array serializeBreadcrumbs() const;
};

// A date as the events write it: seconds since 1970.
double duvidu_secondsSince1970(DuviduDate date);

}  // namespace duvidu
