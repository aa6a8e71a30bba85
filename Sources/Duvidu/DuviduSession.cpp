#include "Duvidu/DuviduSession.h"

#include "Duvidu/DuviduCurrentDate.h"
#include "Duvidu/DuviduDateExtras.h"

namespace duvidu {

std::string nameForSessionStatus(DuviduSessionStatus status)
{
    switch (status) {
    case DuviduSessionStatus::Ok: return "ok";
    case DuviduSessionStatus::Exited: return "exited";
    case DuviduSessionStatus::Crashed: return "crashed";
    case DuviduSessionStatus::Abnormal: return "abnormal";
    }
    return "ok";
}

DuviduSession::DuviduSession(std::optional<std::string> releaseName, std::string distinctId)
    : distinctId_(std::move(distinctId)), started_(DuviduCurrentDate::date()), releaseName_(std::move(releaseName))
{
}

std::shared_ptr<DuviduSession> DuviduSession::initWithJSONObject(const Value::Object& json)
{
    auto entry = [&](const char* key) -> const Value* {
        auto it = json.find(key);
        return it == json.end() ? nullptr : &it->second;
    };
    auto text = [&](const char* key) -> std::optional<std::string> {
        auto value = entry(key);
        return value && value->isString() ? std::optional(*value->asString()) : std::nullopt;
    };
    auto date = [&](const char* key) -> std::optional<DuviduDate> {
        auto value = text(key);
        return value ? duvidu_fromIso8601String(*value) : std::nullopt;
    };
    auto count = [&](const char* key) -> std::optional<uint64_t> {
        auto value = entry(key);
        double number = 0;
        if (!value || !value->isNumber() || !value->numberAsDouble(number) || number < 0) return std::nullopt;
        uint64_t result = 0;
        value->numberAsUInt64(result);
        return result;
    };

    auto sid = text("sid");
    auto started = date("started");
    auto statusName = text("status");
    auto sequence = count("seq");
    auto errors = count("errors");
    if (!sid || !started || !statusName || !sequence || !errors) return nullptr;
    auto sessionId = DuviduId::fromUUIDString(*sid);
    if (sessionId.isEmpty()) return nullptr;
    std::optional<DuviduSessionStatus> status;
    for (auto candidate : {DuviduSessionStatus::Ok, DuviduSessionStatus::Exited, DuviduSessionStatus::Crashed,
                           DuviduSessionStatus::Abnormal}) {
        if (nameForSessionStatus(candidate) == *statusName) status = candidate;
    }
    if (!status) return nullptr;

    std::shared_ptr<DuviduSession> session(new DuviduSession());
    session->sessionId_ = sessionId;
    session->distinctId_ = text("did").value_or("");
    session->started_ = *started;
    session->status_ = *status;
    session->sequence_ = *sequence;
    session->errors_ = *errors;
    auto init = entry("init");
    session->init_ = init && init->asBool() && *init->asBool();
    session->timestamp_ = date("timestamp");
    if (auto duration = entry("duration"); duration && duration->isNumber()) {
        double seconds = 0;
        duration->numberAsDouble(seconds);
        session->duration_ = seconds;
    }
    if (auto attrs = entry("attrs"); attrs && attrs->isObject()) {
        const auto& attributes = *attrs->asObject();
        if (auto it = attributes.find("release"); it != attributes.end() && it->second.isString())
            session->releaseName_ = *it->second.asString();
        if (auto it = attributes.find("environment"); it != attributes.end() && it->second.isString())
            session->environment_ = *it->second.asString();
    }
    return session;
}

std::shared_ptr<DuviduSession> DuviduSession::copy() const
{
    std::lock_guard lock(mutex_);
    std::shared_ptr<DuviduSession> session(new DuviduSession());
    session->sessionId_ = sessionId_;
    session->distinctId_ = distinctId_;
    session->started_ = started_;
    session->status_ = status_;
    session->sequence_ = sequence_;
    session->errors_ = errors_;
    session->init_ = init_;
    session->timestamp_ = timestamp_;
    session->duration_ = duration_;
    session->releaseName_ = releaseName_;
    session->environment_ = environment_;
    session->user_ = user_;
    return session;
}

#define DUVIDU_SESSION_GETTER(type, name, member) \
    type DuviduSession::name() const              \
    {                                             \
        std::lock_guard lock(mutex_);             \
        return member;                            \
    }
DUVIDU_SESSION_GETTER(DuviduId, sessionId, sessionId_)
DUVIDU_SESSION_GETTER(std::string, distinctId, distinctId_)
DUVIDU_SESSION_GETTER(DuviduDate, started, started_)
DUVIDU_SESSION_GETTER(DuviduSessionStatus, status, status_)
DUVIDU_SESSION_GETTER(uint64_t, sequence, sequence_)
DUVIDU_SESSION_GETTER(uint64_t, errors, errors_)
DUVIDU_SESSION_GETTER(bool, flagInit, init_)
DUVIDU_SESSION_GETTER(std::optional<DuviduDate>, timestamp, timestamp_)
DUVIDU_SESSION_GETTER(std::optional<double>, duration, duration_)
DUVIDU_SESSION_GETTER(std::optional<std::string>, releaseName, releaseName_)
DUVIDU_SESSION_GETTER(std::optional<std::string>, environment, environment_)
DUVIDU_SESSION_GETTER(std::optional<DuviduUser>, user, user_)
#undef DUVIDU_SESSION_GETTER

void DuviduSession::setErrors(uint64_t errors)
{
    std::lock_guard lock(mutex_);
    errors_ = errors;
}

void DuviduSession::setEnvironment(std::optional<std::string> environment)
{
    std::lock_guard lock(mutex_);
    environment_ = std::move(environment);
}

void DuviduSession::setUser(std::optional<DuviduUser> user)
{
    std::lock_guard lock(mutex_);
    user_ = std::move(user);
}

void DuviduSession::incrementErrors()
{
    std::lock_guard lock(mutex_);
    ++errors_;
    init_ = false;
    ++sequence_;
}

void DuviduSession::end(DuviduSessionStatus status, DuviduDate timestamp)
{
    std::lock_guard lock(mutex_);
    status_ = status;
    timestamp_ = timestamp;
    duration_ = std::chrono::duration<double>(timestamp - started_).count();
    init_ = false;
    ++sequence_;
}

void DuviduSession::endSessionExitedWithTimestamp(DuviduDate timestamp)
{
    end(DuviduSessionStatus::Exited, timestamp);
}

void DuviduSession::endSessionAbnormalWithTimestamp(DuviduDate timestamp)
{
    end(DuviduSessionStatus::Abnormal, timestamp);
}

void DuviduSession::endSessionCrashedWithTimestamp(DuviduDate timestamp)
{
    end(DuviduSessionStatus::Crashed, timestamp);
}

Value::Object DuviduSession::serialize() const
{
    std::lock_guard lock(mutex_);
    Value::Object json{
        {"sid", sessionId_.duviduIdString()},
        {"started", duvidu_toIso8601String(started_)},
        {"timestamp", duvidu_toIso8601String(timestamp_.value_or(DuviduCurrentDate::date()))},
        {"status", nameForSessionStatus(status_)},
        {"seq", sequence_},
        {"errors", errors_},
    };
    if (!distinctId_.empty()) json["did"] = distinctId_;
    if (init_) json["init"] = true;
    if (duration_) json["duration"] = *duration_;
    Value::Object attrs;
    if (releaseName_) attrs["release"] = *releaseName_;
    if (environment_) attrs["environment"] = *environment_;
    json["attrs"] = std::move(attrs);
    return json;
}

}  // namespace duvidu
