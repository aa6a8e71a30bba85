#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduAttachment.h"
#include "Duvidu/DuviduBreadcrumb.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduLevel.h"
#include "Duvidu/DuviduScopeObserver.h"
#include "Duvidu/DuviduSession.h"
#include "Duvidu/DuviduSpan.h"
#include "Duvidu/DuviduUser.h"
#include "Duvidu/Value.h"

namespace duvidu {

// What the application and the SDK attach to every event: breadcrumbs, tags, extras, contexts, the user, dist,
// environment, fingerprint, level, attachments and the current span. Any thread may change it. Each collection has
// its own re-entrant lock, and no operation holds two of them; observers are told of each change inside that
// collection's lock (user, dist, environment and level: after their lock is released).
class DuviduScope {
public:
    static constexpr int64_t defaultMaxBreadcrumbs = 100;

    // ObjC: -[DuviduScope init]
    DuviduScope();
    // ObjC: -[DuviduScope initWithMaxBreadcrumbs:]
    explicit DuviduScope(int64_t maxBreadcrumbs);
    // ObjC: -[DuviduScope initWithScope:] — the same content (the same breadcrumbs and attachments, a copy of the
    // user), but no observers: changes to the copy reach no mirror.
    DuviduScope(const DuviduScope& other);
    DuviduScope& operator=(const DuviduScope&) = delete;

    // Below a cap of 1 the breadcrumb is dropped and nobody is told. Otherwise it is appended, the oldest one goes
    // when the cap is exceeded, and every observer gets its serialized dictionary.
    void addBreadcrumb(const DuviduBreadcrumb& breadcrumb);
    void add(const DuviduBreadcrumb& breadcrumb) { addBreadcrumb(breadcrumb); }
    void clearBreadcrumbs();
    // Oldest first.
    std::vector<DuviduBreadcrumb> breadcrumbs() const;

    // An absent value removes the key.
    void setTagValue(const std::optional<std::string>& value, const std::string& key);
    void removeTagForKey(const std::string& key);
    // Adds every entry, replacing equal keys and keeping the others; an absent argument changes nothing.
    void setTags(const std::optional<std::map<std::string, std::string>>& tags);
    std::map<std::string, std::string> tags() const;

    void setExtraValue(const std::optional<Value>& value, const std::string& key);
    void removeExtraForKey(const std::string& key);
    void setExtras(const std::optional<Value::Object>& extras);
    Value::Object extras() const;

    void setContextValue(const std::optional<Value::Object>& value, const std::string& key);
    void removeContextForKey(const std::string& key);
    Value::Object context() const;

    void setUser(std::optional<DuviduUser> user);
    void setDist(std::optional<std::string> dist);
    void setEnvironment(std::optional<std::string> environment);
    void setLevel(DuviduLevel level);
    // Empties the fingerprint, then appends the strings; an absent argument leaves it empty.
    void setFingerprint(const std::optional<std::vector<std::string>>& fingerprint);
    std::vector<std::string> fingerprints() const;

    void addAttachment(const DuviduAttachment& attachment);
    void includeAttachment(const DuviduAttachment& attachment) { addAttachment(attachment); }
    // A file stored beside a crash report: "view-hierarchy.json" is a view hierarchy in JSON, anything else a plain
    // attachment named after the file.
    void addCrashReportAttachmentInPath(const std::string& path);
    void clearAttachments();
    std::vector<DuviduAttachment> attachments() const;

    void setSpan(std::shared_ptr<DuviduSpan> span);
    // Runs the block with the current span (perhaps none) inside the span lock; the block may call setSpan.
    void useSpan(const std::function<void(const std::shared_ptr<DuviduSpan>&)>& block) const;
    std::shared_ptr<DuviduSpan> span() const;

    // Empties everything but the cap and the observers; the observers are told only clear.
    void clear();
    // "tags", "extra", "context", "fingerprint" and "breadcrumbs" when not empty, "user", "dist", "environment"
    // when present, "level" when not none; nothing sanitized.
    Value::Object serialize() const;
    Value::Array serializeBreadcrumbs() const;
    // The session gets a copy of the user and the environment, where the scope has them.
    void applyToSession(DuviduSession& session) const;
    // Merges the scope into the event and returns it: tags and extras under the event's own, the fingerprint, the
    // oldest maxBreadcrumb breadcrumbs and dist and environment only where the event has none, the user and a level
    // other than none always, contexts merged deeply under the event's, and the span as the "trace" context.
    std::shared_ptr<DuviduEvent> applyToEvent(std::shared_ptr<DuviduEvent> event, uint64_t maxBreadcrumb) const;
    void addObserver(std::shared_ptr<DuviduScopeObserver> observer);

    // The fields themselves; each returns a copy taken under its lock and tells nobody.
    std::optional<DuviduUser> userObject() const;
    std::optional<std::string> distString() const;
    std::optional<std::string> environmentString() const;
    DuviduLevel levelEnum() const;
    int64_t maxBreadcrumbs() const { return maxBreadcrumbs_; }

private:
    using Observers = std::vector<std::shared_ptr<DuviduScopeObserver>>;
    // The observer list as it is now; addObserver replaces it, so a mutator may walk it while another thread adds.
    std::shared_ptr<const Observers> observers() const;
    template <typename Call>
    void tellObservers(Call call) const
    {
        auto current = observers();  // held here: the range of a for loop would not keep it alive
        for (const auto& observer : *current) call(*observer);
    }

    const int64_t maxBreadcrumbs_;

    mutable std::recursive_mutex spanLock_;
    std::shared_ptr<DuviduSpan> span_;

    // User, dist, environment and level.
    mutable std::mutex fieldsLock_;
    std::optional<DuviduUser> user_;
    std::optional<std::string> dist_;
    std::optional<std::string> environment_;
    DuviduLevel level_ = DuviduLevel::None;

    mutable std::recursive_mutex tagsLock_;
    std::map<std::string, std::string> tags_;
    mutable std::recursive_mutex extrasLock_;
    Value::Object extras_;
    mutable std::recursive_mutex contextLock_;
    Value::Object context_;
    mutable std::recursive_mutex breadcrumbsLock_;
    std::deque<DuviduBreadcrumb> breadcrumbs_;
    mutable std::recursive_mutex fingerprintLock_;
    std::vector<std::string> fingerprint_;
    mutable std::recursive_mutex attachmentsLock_;
    std::vector<DuviduAttachment> attachments_;

    mutable std::mutex observersLock_;
    std::shared_ptr<const Observers> observers_;
};

}  // namespace duvidu
