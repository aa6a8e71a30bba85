#include "Duvidu/DuviduOptions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "Duvidu/DuviduBundleInfo.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduNSProcessInfoWrapper.h"

namespace duvidu {

namespace {

std::string orNull(const std::optional<std::string>& text)
{
    return text ? *text : "(null)";
}

bool isTarget(const Value& value)
{
    if (value.isString()) return true;
    auto opaque = value.asOpaque();
    return opaque && std::any_cast<NSRegularExpression>(&opaque->object) != nullptr;
}

const Value* find(const Value::Object& options, const char* key)
{
    auto it = options.find(key);
    return it == options.end() ? nullptr : &it->second;
}

template <typename T>
const T* objectOf(const Value* value)
{
    auto opaque = value ? value->asOpaque() : nullptr;
    return opaque ? std::any_cast<T>(&opaque->object) : nullptr;
}

std::vector<std::string> stringsOf(const Value::Array& array)
{
    std::vector<std::string> strings;
    for (const auto& element : array) {
        if (auto text = element.asString()) strings.push_back(*text);
    }
    return strings;
}

// The platform reads a number as an unsigned 32-bit value: doubles are cut toward zero, larger values wrap.
uint64_t unsigned32(const Value& number)
{
    int64_t value = 0;
    number.numberAsInt64(value);
    return static_cast<uint32_t>(static_cast<uint64_t>(value));
}

}  // namespace

DuviduOptions::DuviduOptions()
{
    setSampleRate(defaultSampleRate);
    setTracesSampleRate(defaultTracesSampleRate);
    setProfilesSampleRate(defaultProfilesSampleRate);
    integrations_ = defaultIntegrations();

    auto bundle = DuviduBundleInfo::current();
    if (bundle) {
        releaseName = orNull(bundle->identifier) + "@" + orNull(bundle->shortVersion) + "+" + orNull(bundle->build);
    }
    std::optional<std::string> executable = bundle ? bundle->executable : std::nullopt;
    if (!executable) {
        auto path = DuviduNSProcessInfoWrapper::shared()->processPath();
        if (!path.empty()) executable = std::filesystem::path(path).filename().string();
    }
    if (executable) inAppIncludes_.push_back(*executable);

    tracePropagationTargets_ = {regularExpression(".*", true)};
    failedRequestTargets_ = {regularExpression(".*", true)};

    const char* environmentDsn = std::getenv("DUVIDU_DSN");
    if (environmentDsn && *environmentDsn) setDsn(std::string(environmentDsn));
}

std::vector<std::string> DuviduOptions::defaultIntegrations()
{
    return {"DuviduCrashIntegration",
            "DuviduANRTrackingIntegration",
            "DuviduFramesTrackingIntegration",
            "DuviduAutoBreadcrumbTrackingIntegration",
            "DuviduAutoSessionTrackingIntegration",
            "DuviduAppStartTrackingIntegration",
            "DuviduWatchdogTerminationTrackingIntegration",
            "DuviduPerformanceTrackingIntegration",
            "DuviduNetworkTrackingIntegration",
            "DuviduFileIOTrackingIntegration",
            "DuviduCoreDataTrackingIntegration",
            "DuviduSwiftAsyncIntegration"};
}

Value DuviduOptions::regularExpression(const std::string& pattern, bool caseInsensitive)
{
    return objectValue(NSRegularExpression(pattern, caseInsensitive), pattern);
}

void DuviduOptions::setDsn(const std::optional<std::string>& dsn)
{
    NSError error("", 0);
    // No DSN parses like the empty text: it fails, is logged and leaves the DSN as it was.
    parsedDsn_ = DuviduDsn::initWithString(dsn.value_or(""), &error);
    if (parsedDsn_) dsn_ = dsn;
    else DUVIDU_LOG_ERROR("Could not parse the DSN: " + error.description() + ".");
}

bool DuviduOptions::isValidSampleRate(double rate)
{
    return rate >= 0.0 && rate <= 1.0;
}

void DuviduOptions::setSampleRate(std::optional<double> sampleRate)
{
    if (!sampleRate) sampleRate_.reset();
    else sampleRate_ = isValidSampleRate(*sampleRate) ? *sampleRate : defaultSampleRate;
}

void DuviduOptions::setTracesSampleRate(std::optional<double> tracesSampleRate)
{
    if (!tracesSampleRate) {
        tracesSampleRate_.reset();
    } else if (isValidTracesSampleRate(*tracesSampleRate)) {
        tracesSampleRate_ = tracesSampleRate;
        if (!enableTracingManual_) enableTracing_ = true;
    } else {
        tracesSampleRate_ = defaultTracesSampleRate;
    }
}

void DuviduOptions::setTracesSampler(SamplerCallback tracesSampler)
{
    tracesSampler_ = std::move(tracesSampler);
    if (tracesSampler_ && !enableTracingManual_) enableTracing_ = true;
}

void DuviduOptions::setEnableTracing(bool enableTracing)
{
    enableTracing_ = enableTracing;
    if (enableTracing && !tracesSampleRate_ && !tracesSampler_) tracesSampleRate_ = 1.0;
    enableTracingManual_ = true;
}

void DuviduOptions::setProfilesSampleRate(std::optional<double> profilesSampleRate)
{
    if (!profilesSampleRate) profilesSampleRate_.reset();
    else if (isValidProfilesSampleRate(*profilesSampleRate)) profilesSampleRate_ = profilesSampleRate;
    else profilesSampleRate_ = defaultProfilesSampleRate;
}

bool DuviduOptions::isTracingEnabled() const
{
    return enableTracing_ && ((tracesSampleRate_ && *tracesSampleRate_ > 0.0) || tracesSampler_);
}

bool DuviduOptions::isProfilingEnabled() const
{
    return (profilesSampleRate_ && *profilesSampleRate_ > 0.0) || profilesSampler || enableProfiling;
}

int64_t DuviduOptions::scopeBreadcrumbCap() const
{
    return static_cast<int64_t>(std::min<uint64_t>(maxBreadcrumbs, INT64_MAX));
}

void DuviduOptions::setIntegrations(std::vector<std::string> integrations)
{
    DUVIDU_LOG_WARNING("Setting `DuviduOptions.integrations` is deprecated. Integrations should be enabled or "
                       "disabled using their respective `DuviduOptions.enable*` property.");
    integrations_ = std::move(integrations);
}

void DuviduOptions::setTracePropagationTargets(Value::Array targets)
{
    for (const auto& target : targets) {
        if (!isTarget(target)) {
            DUVIDU_LOG_WARNING("Only instances of NSString and NSRegularExpression are supported inside "
                               "tracePropagationTargets.");
        }
    }
    tracePropagationTargets_ = std::move(targets);
}

void DuviduOptions::setFailedRequestTargets(Value::Array targets)
{
    for (const auto& target : targets) {
        if (!isTarget(target)) {
            DUVIDU_LOG_WARNING("Only instances of NSString and NSRegularExpression are supported inside "
                               "failedRequestTargets.");
        }
    }
    failedRequestTargets_ = std::move(targets);
}

std::shared_ptr<DuviduOptions> DuviduOptions::initWithDict(const Value::Object& options, NSError* error)
{
    auto result = std::make_shared<DuviduOptions>();
    NSError failure("", 0);
    if (!result->validateOptions(options, &failure)) {
        if (error) {
            *error = failure;
            DUVIDU_LOG_ERROR("Failed to initialize DuviduOptions: " + failure.description());
        } else {
            DUVIDU_LOG_ERROR("Failed to initialize DuviduOptions");
        }
        return nullptr;
    }
    return result;
}

bool DuviduOptions::validateOptions(const Value::Object& options, NSError* error)
{
    // Booleans: the platform's booleans are numbers, so a number counts by its truth. Values with no truth (text,
    // arrays, callbacks) are ignored like every other value of the wrong kind.
    auto setBool = [&](const char* key, bool& option) {
        double number = 0;
        if (auto value = find(options, key); value && value->numberAsDouble(number)) option = number != 0;
    };
    auto setString = [&](const char* key, auto& option) {
        if (auto value = find(options, key); value && value->isString()) option = *value->asString();
    };
    auto number = [&](const char* key) -> const Value* {
        auto value = find(options, key);
        double ignored = 0;
        return value && value->numberAsDouble(ignored) ? value : nullptr;
    };
    auto setUnsigned32 = [&](const char* key, uint64_t& option) {
        if (auto value = number(key)) option = unsigned32(*value);
    };
    auto setDouble = [&](const char* key, double& option) {
        if (auto value = number(key)) value->numberAsDouble(option);
    };
    auto rate = [&](const char* key) -> std::optional<double> {
        double value = 0;
        if (auto entry = number(key)) entry->numberAsDouble(value);
        else return std::nullopt;
        return value;
    };
    auto array = [&](const char* key) -> const Value::Array* {
        auto value = find(options, key);
        return value ? value->asArray() : nullptr;
    };
    auto setCallback = [&](const char* key, auto& option) {
        using Callback = std::decay_t<decltype(option)>;
        if (auto callback = objectOf<Callback>(find(options, key))) option = *callback;
    };

    setBool("debug", debug);
    if (auto value = find(options, "diagnosticLevel"); value && value->isString()) {
        for (uint64_t level = 0; level <= 5; ++level) {
            if (*value->asString() == nameForLevel(static_cast<DuviduLevel>(level))) {
                diagnosticLevel = static_cast<DuviduLevel>(level);
                break;
            }
        }
    }
    auto dsnValue = find(options, "dsn");
    if (!dsnValue || !dsnValue->isNull()) {
        std::string text = dsnValue && dsnValue->isString() ? *dsnValue->asString() : "";
        NSError failure("", 0);
        auto parsed = DuviduDsn::initWithString(text, &failure);
        if (!parsed) {
            if (error) *error = failure;
            return false;
        }
        parsedDsn_ = parsed;
        // Keep the text beside the parse so that the two never disagree.
        dsn_ = text;
    }
    setString("release", releaseName);
    setString("environment", environment);
    setString("dist", dist);
    setBool("enabled", enabled);
    setDouble("shutdownTimeInterval", shutdownTimeInterval);
    setBool("enableCrashHandler", enableCrashHandler);
    setUnsigned32("maxBreadcrumbs", maxBreadcrumbs);
    setBool("enableNetworkBreadcrumbs", enableNetworkBreadcrumbs);
    setUnsigned32("maxCacheItems", maxCacheItems);
    setCallback("beforeSend", beforeSend);
    setCallback("beforeBreadcrumb", beforeBreadcrumb);
    setCallback("onCrashedLastRun", onCrashedLastRun);
    if (auto list = array("integrations")) setIntegrations(stringsOf(*list));
    if (auto value = rate("sampleRate")) setSampleRate(value);
    setBool("enableAutoSessionTracking", enableAutoSessionTracking);
    setBool("enableWatchdogTerminationTracking", enableWatchdogTerminationTracking);
    setBool("swiftAsyncStacktraces", swiftAsyncStacktraces);
    setUnsigned32("sessionTrackingIntervalMillis", sessionTrackingIntervalMillis);
    setBool("attachStacktrace", attachStacktrace);
    setUnsigned32("maxAttachmentSize", maxAttachmentSize);
    setBool("sendDefaultPii", sendDefaultPii);
    setBool("enableAutoPerformanceTracing", enableAutoPerformanceTracing);
    setBool("enableCaptureFailedRequests", enableCaptureFailedRequests);
    setBool("enableTimeToFullDisplay", enableTimeToFullDisplay);
    setCallback("initialScope", initialScope);
    setBool("enableAppHangTracking", enableAppHangTracking);
    setDouble("appHangTimeoutInterval", appHangTimeoutInterval);
    setBool("enableNetworkTracking", enableNetworkTracking);
    setBool("enableFileIOTracing", enableFileIOTracing);
    if (auto value = rate("tracesSampleRate")) setTracesSampleRate(value);
    if (auto sampler = objectOf<SamplerCallback>(find(options, "tracesSampler"))) setTracesSampler(*sampler);
    if (auto value = number("enableTracing")) {
        double truth = 0;
        value->numberAsDouble(truth);
        setEnableTracing(truth != 0);
    }
    if (auto list = array("inAppIncludes")) {
        for (auto& include : stringsOf(*list)) addInAppInclude(include);
    }
    if (auto list = array("inAppExcludes")) inAppExcludes_ = stringsOf(*list);
    if (auto delegate = objectOf<std::shared_ptr<DuviduURLSessionDelegate>>(find(options, "urlSessionDelegate")))
        urlSessionDelegate = *delegate;
    setBool("enableSwizzling", enableSwizzling);
    setBool("enableCoreDataTracing", enableCoreDataTracing);
    if (auto value = rate("profilesSampleRate")) setProfilesSampleRate(value);
    setCallback("profilesSampler", profilesSampler);
    setBool("enableProfiling", enableProfiling);
    setBool("sendClientReports", sendClientReports);
    setBool("enableAutoBreadcrumbTracking", enableAutoBreadcrumbTracking);
    if (auto list = array("tracePropagationTargets")) setTracePropagationTargets(*list);
    if (auto list = array("failedRequestStatusCodes")) {
        // Only ranges can be held; anything else would make the failed-request check misbehave.
        std::vector<DuviduHttpStatusCodeRange> ranges;
        for (const auto& element : *list) {
            if (auto range = objectOf<DuviduHttpStatusCodeRange>(&element)) ranges.push_back(*range);
        }
        failedRequestStatusCodes = std::move(ranges);
    }
    if (auto list = array("failedRequestTargets")) setFailedRequestTargets(*list);
    return true;
}

}  // namespace duvidu
