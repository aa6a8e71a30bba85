#include "Duvidu/DuviduScope.h"

#include <algorithm>

#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduMutableDictionary.h"
#include "Duvidu/DuviduTracer.h"

namespace duvidu {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

Value::Object tagsObject(const std::map<std::string, std::string>& tags)
{
    Value::Object object;
    for (const auto& [key, value] : tags) object.emplace_hint(object.end(), key, value);
    return object;
}

}  // namespace

DuviduScope::DuviduScope() : DuviduScope(defaultMaxBreadcrumbs) {}

DuviduScope::DuviduScope(int64_t maxBreadcrumbs)
    : maxBreadcrumbs_(maxBreadcrumbs), observers_(std::make_shared<const Observers>())
{
}

DuviduScope::DuviduScope(const DuviduScope& other) : DuviduScope(other.maxBreadcrumbs_)
{
    extras_ = other.extras();
    tags_ = other.tags();
    context_ = other.context();
    {
        Lock lock(other.breadcrumbsLock_);
        breadcrumbs_ = other.breadcrumbs_;
    }
    fingerprint_ = other.fingerprints();
    {
        Lock lock(other.attachmentsLock_);
        attachments_ = other.attachments_;
    }
    {
        std::lock_guard lock(other.fieldsLock_);
        user_ = other.user_;
        dist_ = other.dist_;
        environment_ = other.environment_;
        level_ = other.level_;
    }
    span_ = other.span();
}

std::shared_ptr<const DuviduScope::Observers> DuviduScope::observers() const
{
    std::lock_guard lock(observersLock_);
    return observers_;
}

void DuviduScope::addObserver(std::shared_ptr<DuviduScopeObserver> observer)
{
    std::lock_guard lock(observersLock_);
    auto grown = std::make_shared<Observers>(*observers_);
    grown->push_back(std::move(observer));
    observers_ = std::move(grown);
}

void DuviduScope::addBreadcrumb(const DuviduBreadcrumb& breadcrumb)
{
    if (maxBreadcrumbs_ < 1) return;
    // The description serializes the breadcrumb: only worth it when the line is printed.
    if (DuviduLog::willLogAtLevel(DuviduLevel::Debug)) DUVIDU_LOG_DEBUG("Add breadcrumb: " + breadcrumb.description());
    Lock lock(breadcrumbsLock_);
    breadcrumbs_.push_back(breadcrumb);
    if (static_cast<int64_t>(breadcrumbs_.size()) > maxBreadcrumbs_) breadcrumbs_.pop_front();
    auto current = observers();
    if (current->empty()) return;
    auto serialized = breadcrumb.serialize();
    for (const auto& observer : *current) observer->addSerializedBreadcrumb(serialized);
}

void DuviduScope::clearBreadcrumbs()
{
    Lock lock(breadcrumbsLock_);
    breadcrumbs_.clear();
    tellObservers([](DuviduScopeObserver& observer) { observer.clearBreadcrumbs(); });
}

std::vector<DuviduBreadcrumb> DuviduScope::breadcrumbs() const
{
    Lock lock(breadcrumbsLock_);
    return {breadcrumbs_.begin(), breadcrumbs_.end()};
}

void DuviduScope::setTagValue(const std::optional<std::string>& value, const std::string& key)
{
    Lock lock(tagsLock_);
    if (value) tags_[key] = *value;
    else tags_.erase(key);
    tellObservers([&](DuviduScopeObserver& observer) { observer.setTags(tags_); });
}

void DuviduScope::removeTagForKey(const std::string& key)
{
    setTagValue(std::nullopt, key);
}

void DuviduScope::setTags(const std::optional<std::map<std::string, std::string>>& tags)
{
    if (!tags) return;
    Lock lock(tagsLock_);
    for (const auto& [key, value] : *tags) tags_[key] = value;
    tellObservers([&](DuviduScopeObserver& observer) { observer.setTags(tags_); });
}

std::map<std::string, std::string> DuviduScope::tags() const
{
    Lock lock(tagsLock_);
    return tags_;
}

void DuviduScope::setExtraValue(const std::optional<Value>& value, const std::string& key)
{
    Lock lock(extrasLock_);
    if (value) extras_[key] = *value;
    else extras_.erase(key);
    tellObservers([&](DuviduScopeObserver& observer) { observer.setExtras(extras_); });
}

void DuviduScope::removeExtraForKey(const std::string& key)
{
    setExtraValue(std::nullopt, key);
}

void DuviduScope::setExtras(const std::optional<Value::Object>& extras)
{
    if (!extras) return;
    Lock lock(extrasLock_);
    for (const auto& [key, value] : *extras) extras_[key] = value;
    tellObservers([&](DuviduScopeObserver& observer) { observer.setExtras(extras_); });
}

Value::Object DuviduScope::extras() const
{
    Lock lock(extrasLock_);
    return extras_;
}

void DuviduScope::setContextValue(const std::optional<Value::Object>& value, const std::string& key)
{
    Lock lock(contextLock_);
    if (value) context_[key] = *value;
    else context_.erase(key);
    tellObservers([&](DuviduScopeObserver& observer) { observer.setContext(context_); });
}

void DuviduScope::removeContextForKey(const std::string& key)
{
    setContextValue(std::nullopt, key);
}

Value::Object DuviduScope::context() const
{
    Lock lock(contextLock_);
    return context_;
}

void DuviduScope::setUser(std::optional<DuviduUser> user)
{
    {
        std::lock_guard lock(fieldsLock_);
        user_ = user;
    }
    tellObservers([&](DuviduScopeObserver& observer) { observer.setUser(user); });
}

void DuviduScope::setDist(std::optional<std::string> dist)
{
    {
        std::lock_guard lock(fieldsLock_);
        dist_ = dist;
    }
    tellObservers([&](DuviduScopeObserver& observer) { observer.setDist(dist); });
}

void DuviduScope::setEnvironment(std::optional<std::string> environment)
{
    {
        std::lock_guard lock(fieldsLock_);
        environment_ = environment;
    }
    tellObservers([&](DuviduScopeObserver& observer) { observer.setEnvironment(environment); });
}

void DuviduScope::setLevel(DuviduLevel level)
{
    {
        std::lock_guard lock(fieldsLock_);
        level_ = level;
    }
    tellObservers([&](DuviduScopeObserver& observer) { observer.setLevel(level); });
}

std::optional<DuviduUser> DuviduScope::userObject() const
{
    std::lock_guard lock(fieldsLock_);
    return user_;
}

std::optional<std::string> DuviduScope::distString() const
{
    std::lock_guard lock(fieldsLock_);
    return dist_;
}

std::optional<std::string> DuviduScope::environmentString() const
{
    std::lock_guard lock(fieldsLock_);
    return environment_;
}

DuviduLevel DuviduScope::levelEnum() const
{
    std::lock_guard lock(fieldsLock_);
    return level_;
}

void DuviduScope::setFingerprint(const std::optional<std::vector<std::string>>& fingerprint)
{
    Lock lock(fingerprintLock_);
    fingerprint_.clear();
    if (fingerprint) fingerprint_ = *fingerprint;
    tellObservers([&](DuviduScopeObserver& observer) { observer.setFingerprint(fingerprint_); });
}

std::vector<std::string> DuviduScope::fingerprints() const
{
    Lock lock(fingerprintLock_);
    return fingerprint_;
}

void DuviduScope::addAttachment(const DuviduAttachment& attachment)
{
    Lock lock(attachmentsLock_);
    attachments_.push_back(attachment);
}

void DuviduScope::addCrashReportAttachmentInPath(const std::string& path)
{
    if (DuviduAttachment::lastPathComponent(path) == "view-hierarchy.json") {
        addAttachment(DuviduAttachment::withPath(path, "view-hierarchy.json", "application/json",
                                                 DuviduAttachmentType::ViewHierarchy));
    } else {
        addAttachment(DuviduAttachment::withPath(path));
    }
}

void DuviduScope::clearAttachments()
{
    Lock lock(attachmentsLock_);
    attachments_.clear();
}

std::vector<DuviduAttachment> DuviduScope::attachments() const
{
    Lock lock(attachmentsLock_);
    return attachments_;
}

void DuviduScope::setSpan(std::shared_ptr<DuviduSpan> span)
{
    Lock lock(spanLock_);
    span_ = std::move(span);
}

void DuviduScope::useSpan(const std::function<void(const std::shared_ptr<DuviduSpan>&)>& block) const
{
    Lock lock(spanLock_);
    auto current = span_;  // the block may replace the span it was given
    block(current);
}

std::shared_ptr<DuviduSpan> DuviduScope::span() const
{
    Lock lock(spanLock_);
    return span_;
}

void DuviduScope::clear()
{
    {
        Lock lock(breadcrumbsLock_);
        breadcrumbs_.clear();
    }
    {
        Lock lock(tagsLock_);
        tags_.clear();
    }
    {
        Lock lock(extrasLock_);
        extras_.clear();
    }
    {
        Lock lock(contextLock_);
        context_.clear();
    }
    {
        Lock lock(fingerprintLock_);
        fingerprint_.clear();
    }
    clearAttachments();
    setSpan(nullptr);
    {
        std::lock_guard lock(fieldsLock_);
        user_.reset();
        dist_.reset();
        environment_.reset();
        level_ = DuviduLevel::None;
    }
    tellObservers([](DuviduScopeObserver& observer) { observer.clear(); });
}

Value::Array DuviduScope::serializeBreadcrumbs() const
{
    Lock lock(breadcrumbsLock_);
    Value::Array serialized;
    serialized.reserve(breadcrumbs_.size());
    for (const auto& breadcrumb : breadcrumbs_) serialized.emplace_back(breadcrumb.serialize());
    return serialized;
}

Value::Object DuviduScope::serialize() const
{
    Value::Object json;
    if (auto tags = this->tags(); !tags.empty()) json["tags"] = tagsObject(tags);
    if (auto extras = this->extras(); !extras.empty()) json["extra"] = std::move(extras);
    if (auto context = this->context(); !context.empty()) json["context"] = std::move(context);
    {
        std::lock_guard lock(fieldsLock_);
        if (user_) json["user"] = user_->serialize();
        setValueIfPresent(json, "dist", dist_);
        setValueIfPresent(json, "environment", environment_);
    }
    if (auto fingerprint = fingerprints(); !fingerprint.empty())
        json["fingerprint"] = Value::Array(fingerprint.begin(), fingerprint.end());
    if (auto level = levelEnum(); level != DuviduLevel::None) json["level"] = nameForLevel(level);
    if (auto breadcrumbs = serializeBreadcrumbs(); !breadcrumbs.empty()) json["breadcrumbs"] = std::move(breadcrumbs);
    return json;
}

void DuviduScope::applyToSession(DuviduSession& session) const
{
    std::optional<DuviduUser> user;
    std::optional<std::string> environment;
    {
        std::lock_guard lock(fieldsLock_);
        user = user_;
        environment = environment_;
    }
    if (user) session.setUser(std::move(user));
    if (environment) session.setEnvironment(std::move(environment));
}

std::shared_ptr<DuviduEvent> DuviduScope::applyToEvent(std::shared_ptr<DuviduEvent> event,
                                                       uint64_t maxBreadcrumb) const
{
    if (!event) return event;
    {
        Lock lock(tagsLock_);
        auto merged = tagsObject(tags_);
        if (event->tags) {
            for (auto& [key, value] : *event->tags) merged[key] = std::move(value);
        }
        event->tags = std::move(merged);
    }
    {
        Lock lock(extrasLock_);
        Value::Object merged = extras_;
        if (event->extra) {
            for (auto& [key, value] : *event->extra) merged[key] = std::move(value);
        }
        event->extra = std::move(merged);
    }
    {
        Lock lock(fingerprintLock_);
        if (!fingerprint_.empty() && !event->fingerprint) event->fingerprint = fingerprint_;
    }
    if (!event->breadcrumbs) {
        Lock lock(breadcrumbsLock_);
        auto count = static_cast<size_t>(std::min<uint64_t>(breadcrumbs_.size(), maxBreadcrumb));
        event->breadcrumbs.emplace(breadcrumbs_.begin(), breadcrumbs_.begin() + static_cast<std::ptrdiff_t>(count));
    }
    {
        std::lock_guard lock(fieldsLock_);
        if (user_) event->user = user_;
        if (dist_ && !event->dist) event->dist = dist_;
        if (environment_ && !event->environment) event->environment = environment_;
        if (level_ != DuviduLevel::None) event->level = level_;
    }
    Value::Object context = this->context();
    if (event->context) mergeEntriesFromDictionary(context, *event->context);
    {
        Lock lock(spanLock_);
        if (span_) {
            if (event->type != "transaction") {
                if (auto tracer = std::dynamic_pointer_cast<DuviduTracer>(span_))
                    event->transaction = tracer->transactionName();
            }
            context["trace"] = span_->serialize();
        }
    }
    event->context = std::move(context);
    return event;
}

}  // namespace duvidu
