#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Duvidu/DuviduId.h"
#include "Duvidu/DuviduUser.h"
#include "Duvidu/Value.h"

namespace duvidu {

enum class DuviduSessionStatus { Ok, Exited, Crashed, Abnormal };

// "ok", "exited", "crashed", "abnormal".
std::string nameForSessionStatus(DuviduSessionStatus status);

// One run of the application as the SDK counts it: when it started, how many errors it had and how it ended. The
// changing operations and serialize lock the session.
class DuviduSession {
public:
    // ObjC: -[DuviduSession initWithReleaseName:] — a new id, started now (SDK clock), status ok, sequence 1,
    // 0 errors, the "init" flag set. The distinct id names the installation.
    DuviduSession(std::optional<std::string> releaseName, std::string distinctId);
    // ObjC: -[DuviduSession initWithJSONObject:] — nullptr unless "sid", "started", "status", "seq" and "errors" are
    // present and readable.
    static std::shared_ptr<DuviduSession> initWithJSONObject(const Value::Object& json);

    std::shared_ptr<DuviduSession> copy() const;

    DuviduId sessionId() const;
    std::string distinctId() const;
    DuviduDate started() const;
    DuviduSessionStatus status() const;
    uint64_t sequence() const;
    uint64_t errors() const;
    void setErrors(uint64_t errors);
    bool flagInit() const;
    std::optional<DuviduDate> timestamp() const;
    std::optional<double> duration() const;
    std::optional<std::string> releaseName() const;
    std::optional<std::string> environment() const;
    void setEnvironment(std::optional<std::string> environment);
    std::optional<DuviduUser> user() const;
    // ObjC: -[DuviduSession setUser:] — keeps a copy of the scope's user.
    void setUser(std::optional<DuviduUser> user);

    // errors + 1, clears "init", raises the sequence.
    void incrementErrors();
    // Status exited, abnormal or crashed, the end timestamp, duration = timestamp - started; clears "init", raises
    // the sequence.
    void endSessionExitedWithTimestamp(DuviduDate timestamp);
    void endSessionAbnormalWithTimestamp(DuviduDate timestamp);
    void endSessionCrashedWithTimestamp(DuviduDate timestamp);

    // {"sid", "did", "init" (only while set), "started", "timestamp" (the end, or now), "status", "seq", "errors",
    //  "duration" (once ended), "attrs": {"release", "environment"}}
    Value::Object serialize() const;

private:
    DuviduSession() = default;
    void end(DuviduSessionStatus status, DuviduDate timestamp);

    mutable std::mutex mutex_;
    DuviduId sessionId_;
    std::string distinctId_;
    DuviduDate started_;
    DuviduSessionStatus status_ = DuviduSessionStatus::Ok;
    uint64_t sequence_ = 1;
    uint64_t errors_ = 0;
    bool init_ = true;
    std::optional<DuviduDate> timestamp_;
    std::optional<double> duration_;
    std::optional<std::string> releaseName_;
    std::optional<std::string> environment_;
    std::optional<DuviduUser> user_;
};

}  // namespace duvidu
