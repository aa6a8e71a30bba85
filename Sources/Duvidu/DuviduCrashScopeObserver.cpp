#include "Duvidu/DuviduCrashScopeObserver.h"

#include "Duvidu/DuviduCompression.h"
#include "Duvidu/DuviduSanitize.h"
#include "Duvidu/DuviduSerialization.h"
#include "DuviduCrash/Recording/DuviduCrashScopeSync.h"

namespace duvidu {

namespace {

using Field = DuviduCrashScopeSync::Field;

// The value as NUL-terminated JSON text; nullopt when JSON cannot hold it (the serializer logs why).
std::optional<DuviduData> jsonText(const Value& value)
{
    if (value.isObject() || value.isArray()) {
        auto data = DuviduSerialization::dataWithJSONObject(value);
        return data ? std::optional<DuviduData>(duvidu_nullTerminated(*data)) : std::nullopt;
    }
    // A bare value is written inside an array, which JSON always allows, and the brackets are then cut off.
    auto data = DuviduSerialization::dataWithJSONObject(Value(Value::Array{value}));
    if (!data || data->size() < 2) return std::nullopt;
    return duvidu_nullTerminated(DuviduData(data->begin() + 1, data->end() - 1));
}

void store(Field field, const Value& value)
{
    auto text = jsonText(value);
    if (text) DuviduCrashScopeSync::setField(field, reinterpret_cast<const char*>(text->data()), text->size() - 1);
}

void storeOptional(Field field, const std::optional<std::string>& text)
{
    if (text) store(field, Value(*text));
    else DuviduCrashScopeSync::setField(field, nullptr, 0);
}

}  // namespace

DuviduCrashScopeObserver::DuviduCrashScopeObserver(size_t maxBreadcrumbs)
{
    DuviduCrashScopeSync::setBreadcrumbCapacity(maxBreadcrumbs);
}

void DuviduCrashScopeObserver::setUser(const std::optional<DuviduUser>& user)
{
    if (user) store(Field::User, Value(user->serialize()));
    else DuviduCrashScopeSync::setField(Field::User, nullptr, 0);
}

void DuviduCrashScopeObserver::setTags(const std::map<std::string, std::string>& tags)
{
    Value::Object object;
    for (const auto& [key, value] : tags) object.emplace(key, value);
    store(Field::Tags, Value(std::move(object)));
}

void DuviduCrashScopeObserver::setExtras(const Value::Object& extras)
{
    store(Field::Extras, Value(duvidu_sanitize(extras)));
}

void DuviduCrashScopeObserver::setContext(const Value::Object& context)
{
    store(Field::Context, Value(duvidu_sanitize(context)));
}

void DuviduCrashScopeObserver::setDist(const std::optional<std::string>& dist)
{
    storeOptional(Field::Dist, dist);
}

void DuviduCrashScopeObserver::setEnvironment(const std::optional<std::string>& environment)
{
    storeOptional(Field::Environment, environment);
}

void DuviduCrashScopeObserver::setFingerprint(const std::vector<std::string>& fingerprint)
{
    Value::Array array(fingerprint.begin(), fingerprint.end());
    store(Field::Fingerprint, Value(std::move(array)));
}

void DuviduCrashScopeObserver::setLevel(DuviduLevel level)
{
    if (level == DuviduLevel::None) DuviduCrashScopeSync::setField(Field::Level, nullptr, 0);
    else store(Field::Level, Value(nameForLevel(level)));
}

void DuviduCrashScopeObserver::addSerializedBreadcrumb(const Value::Object& serializedBreadcrumb)
{
    auto text = jsonText(Value(serializedBreadcrumb));
    if (text) DuviduCrashScopeSync::addBreadcrumb(reinterpret_cast<const char*>(text->data()), text->size() - 1);
}

void DuviduCrashScopeObserver::clearBreadcrumbs()
{
    DuviduCrashScopeSync::clearBreadcrumbs();
}

void DuviduCrashScopeObserver::clear()
{
    DuviduCrashScopeSync::clear();
}

void DuviduCrashScopeObserver::syncWithScope(const DuviduScope& scope)
{
    setUser(scope.userObject());
    setTags(scope.tags());
    setExtras(scope.extras());
    setContext(scope.context());
    setDist(scope.distString());
    setEnvironment(scope.environmentString());
    setFingerprint(scope.fingerprints());
    setLevel(scope.levelEnum());
    clearBreadcrumbs();
    for (const auto& breadcrumb : scope.serializeBreadcrumbs()) {
        if (auto object = breadcrumb.asObject()) addSerializedBreadcrumb(*object);
    }
}

}  // namespace duvidu
