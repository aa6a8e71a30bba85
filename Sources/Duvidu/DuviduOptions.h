#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduDsn.h"
#include "Duvidu/DuviduHttpStatusCodeRange.h"
#include "Duvidu/DuviduLevel.h"
#include "Duvidu/NSError.h"
#include "Duvidu/NSRegularExpression.h"
#include "Duvidu/Value.h"

namespace duvidu {

class DuviduEvent;
class DuviduBreadcrumb;
class DuviduScope;
class DuviduSamplingContext;
class DuviduURLSessionDelegate;

// The whole configuration of the SDK. Built on one thread before the start, read-only afterwards.
class DuviduOptions {
public:
    using BeforeSendCallback = std::function<std::shared_ptr<DuviduEvent>(std::shared_ptr<DuviduEvent>)>;
    using BeforeBreadcrumbCallback =
        std::function<std::shared_ptr<DuviduBreadcrumb>(std::shared_ptr<DuviduBreadcrumb>)>;
    using OnCrashedLastRunCallback = std::function<void(std::shared_ptr<DuviduEvent>)>;
    using InitialScopeCallback = std::function<std::shared_ptr<DuviduScope>(std::shared_ptr<DuviduScope>)>;
    using SamplerCallback = std::function<std::optional<double>(const DuviduSamplingContext&)>;

    // Every default; the DSN comes from DUVIDU_DSN when that is set and not empty.
    DuviduOptions();
    // ObjC: -[DuviduOptions initWithDict:didFailWithError:] — the defaults, then the dictionary's keys. Fails only
    // on a DSN that does not parse (a missing "dsn" key included); the failure is logged.
    static std::shared_ptr<DuviduOptions> initWithDict(const Value::Object& options, NSError* error = nullptr);
    // Applies the keys of the dictionary form in their fixed order; false only when the DSN does not parse, and
    // then the keys after "dsn" are not applied.
    bool validateOptions(const Value::Object& options, NSError* error = nullptr);

    // The integrations installed by default, by class name, in installation order.
    static std::vector<std::string> defaultIntegrations();
    // A value of the dictionary form that holds a callback or another object of a type the SDK knows.
    template <typename T>
    static Value objectValue(T object, std::string description = "")
    {
        return Value::Opaque{std::move(description), std::any(std::move(object))};
    }
    // A regular expression as an element of the two target lists.
    static Value regularExpression(const std::string& pattern, bool caseInsensitive = true);

    // The DSN. Setting parses it; an invalid one, or none, is logged and leaves the DSN as it was, without a parsed
    // DSN.
    const std::optional<std::string>& dsn() const { return dsn_; }
    void setDsn(const std::optional<std::string>& dsn);
    const std::shared_ptr<const DuviduDsn>& parsedDsn() const { return parsedDsn_; }
    void setParsedDsn(std::shared_ptr<const DuviduDsn> parsedDsn) { parsedDsn_ = std::move(parsedDsn); }

    // An invalid rate (outside 0 to 1, or NaN) stores 1.
    const std::optional<double>& sampleRate() const { return sampleRate_; }
    void setSampleRate(std::optional<double> sampleRate);
    // A valid rate switches tracing on unless it was set by hand; an invalid one stores none.
    const std::optional<double>& tracesSampleRate() const { return tracesSampleRate_; }
    void setTracesSampleRate(std::optional<double> tracesSampleRate);
    const SamplerCallback& tracesSampler() const { return tracesSampler_; }
    void setTracesSampler(SamplerCallback tracesSampler);
    bool enableTracing() const { return enableTracing_; }
    // Marks tracing as set by hand; switching it on without a rate or sampler sets the rate to 1.
    void setEnableTracing(bool enableTracing);
    // An invalid rate stores none.
    const std::optional<double>& profilesSampleRate() const { return profilesSampleRate_; }
    void setProfilesSampleRate(std::optional<double> profilesSampleRate);

    static bool isValidSampleRate(double rate);
    static bool isValidTracesSampleRate(double rate) { return isValidSampleRate(rate); }
    static bool isValidProfilesSampleRate(double rate) { return isValidSampleRate(rate); }
    bool isTracingEnabled() const;
    bool isProfilingEnabled() const;
    // maxBreadcrumbs as the signed cap of a scope and of the files that keep its breadcrumbs; a larger value means
    // "no practical limit".
    int64_t scopeBreadcrumbCap() const;
    bool enableProfiling_DEPRECATED_TEST_ONLY() const { return enableProfiling; }
    void setEnableProfiling_DEPRECATED_TEST_ONLY(bool enable) { enableProfiling = enable; }

    const std::vector<std::string>& integrations() const { return integrations_; }
    // Logs that setting the list is deprecated, then stores it.
    void setIntegrations(std::vector<std::string> integrations);

    const std::vector<std::string>& inAppIncludes() const { return inAppIncludes_; }
    void addInAppInclude(const std::string& include) { inAppIncludes_.push_back(include); }
    const std::vector<std::string>& inAppExcludes() const { return inAppExcludes_; }
    void addInAppExclude(const std::string& exclude) { inAppExcludes_.push_back(exclude); }

    // Strings and regular expressions; any other element is logged with a warning and kept.
    const Value::Array& tracePropagationTargets() const { return tracePropagationTargets_; }
    void setTracePropagationTargets(Value::Array targets);
    const Value::Array& failedRequestTargets() const { return failedRequestTargets_; }
    void setFailedRequestTargets(Value::Array targets);

    static constexpr double defaultSampleRate = 1.0;
    static constexpr std::optional<double> defaultTracesSampleRate = std::nullopt;
    static constexpr std::optional<double> defaultProfilesSampleRate = std::nullopt;

    // Plain options.
    bool debug = false;
    DuviduLevel diagnosticLevel = DuviduLevel::Debug;
    std::optional<std::string> releaseName;
    std::optional<std::string> dist;
    std::string environment = "production";
    bool enabled = true;
    double shutdownTimeInterval = 2.0;
    bool enableCrashHandler = true;
    uint64_t maxBreadcrumbs = 100;
    bool enableNetworkBreadcrumbs = true;
    uint64_t maxCacheItems = 30;
    BeforeSendCallback beforeSend;
    BeforeBreadcrumbCallback beforeBreadcrumb;
    OnCrashedLastRunCallback onCrashedLastRun;
    bool enableAutoSessionTracking = true;
    bool enableWatchdogTerminationTracking = true;
    bool swiftAsyncStacktraces = false;
    uint64_t sessionTrackingIntervalMillis = 30000;
    bool attachStacktrace = true;
    uint64_t maxAttachmentSize = 20 * 1024 * 1024;
    bool sendDefaultPii = false;
    bool enableAutoPerformanceTracing = true;
    bool enableCaptureFailedRequests = true;
    bool enableTimeToFullDisplay = false;
    InitialScopeCallback initialScope = [](std::shared_ptr<DuviduScope> scope) { return scope; };
    bool enableAppHangTracking = true;
    double appHangTimeoutInterval = 2.0;
    bool enableNetworkTracking = true;
    bool enableFileIOTracing = true;
    std::weak_ptr<DuviduURLSessionDelegate> urlSessionDelegate;
    bool enableSwizzling = true;
    bool enableCoreDataTracing = true;
    SamplerCallback profilesSampler;
    bool enableProfiling = false;
    bool sendClientReports = true;
    bool enableAutoBreadcrumbTracking = true;
    std::vector<DuviduHttpStatusCodeRange> failedRequestStatusCodes{DuviduHttpStatusCodeRange(500, 599)};
    // Diagnostic payloads do not exist on this platform; the switch stays off and its key is not read.
    bool enableMetricKit = false;

private:
    std::optional<std::string> dsn_;
    std::shared_ptr<const DuviduDsn> parsedDsn_;
    std::optional<double> sampleRate_;
    std::optional<double> tracesSampleRate_;
    SamplerCallback tracesSampler_;
    bool enableTracing_ = false;
    bool enableTracingManual_ = false;
    std::optional<double> profilesSampleRate_;
    std::vector<std::string> integrations_;
    std::vector<std::string> inAppIncludes_;
    std::vector<std::string> inAppExcludes_;
    Value::Array tracePropagationTargets_;
    Value::Array failedRequestTargets_;
};

}  // namespace duvidu
