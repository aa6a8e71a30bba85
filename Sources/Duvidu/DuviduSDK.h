#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduAppStartMeasurement.h"
#include "Duvidu/DuviduBreadcrumb.h"
#include "Duvidu/DuviduEnvelope.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduId.h"
#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduScope.h"
#include "Duvidu/DuviduSpan.h"
#include "Duvidu/DuviduTracer.h"
#include "Duvidu/DuviduTransactionContext.h"
#include "Duvidu/DuviduUser.h"
#include "Duvidu/DuviduUserFeedback.h"
#include "Duvidu/NSError.h"
#include "Duvidu/NSException.h"

namespace duvidu {

class DuviduHub;

// The SDK's static entry points. Process-wide state only; no instances. Start builds the client, the scope and the
// hub and installs the integrations; every capture, scope, session, flush and close call then goes to the current
// hub. Before the start and after close the current hub is an empty one (no client), which answers every capture
// with the empty id and sends nothing.
//
// Lock order: the facade's lock guards the current hub; the dependency container's lock may be taken while it is
// held (making an empty hub reads the container), never the other way round: the container reads the current hub
// before it takes its own lock. No lock of the facade is held while integrations install or the hub runs.
class DuviduSDK {
public:
    using ScopeBlock = std::function<void(DuviduScope&)>;

    DuviduSDK() = delete;

    // ObjC: +[DuviduSDK startWithConfigureOptions:] — new default options, the block once, then the start.
    static void startWithConfigureOptions(const std::function<void(DuviduOptions&)>& configureOptions);
    // ObjC: +[DuviduSDK startWithOptions:] — a second start replaces the hub without closing the old one.
    static void startWithOptions(std::shared_ptr<const DuviduOptions> options);

    // Makes the empty hub when there is none.
    static std::shared_ptr<DuviduHub> currentHub();
    static void setCurrentHub(std::shared_ptr<DuviduHub> hub);
    // The current client's options; nullptr without one (makes no hub).
    static std::shared_ptr<const DuviduOptions> options();
    // The current hub's span; nullptr without a hub (makes none).
    static std::shared_ptr<DuviduSpan> span();
    static bool isEnabled();
    // Whether the previous launch ended in a crash.
    static bool crashedLastRun();
    // Whether onCrashedLastRun already ran in this process; it runs at most once.
    static bool crashedLastRunCalled();
    static void setCrashedLastRunCalled(bool called);
    // Sets the flag and returns true only for the call that changed it, so that of two crash events prepared at
    // once exactly one runs the callback.
    static bool markCrashedLastRunCalled();
    static uint64_t startInvocations();
    static void setStartInvocations(uint64_t startInvocations);
    // Stores the measurement, then hands it to PrivateDuviduSDKOnly's availability block when one is set.
    static void setAppStartMeasurement(std::optional<DuviduAppStartMeasurement> measurement);
    static std::optional<DuviduAppStartMeasurement> getAppStartMeasurement();
    // Installs the options' integrations, in list order, on the current hub; nothing without a client.
    static void installIntegrations();

    // The one-argument forms capture with the current hub's scope; the scope-block forms with a copy of it that the
    // block changes for this one event.
    static DuviduId captureEvent(const std::shared_ptr<DuviduEvent>& event);
    static DuviduId captureEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope);
    static DuviduId captureEvent(const std::shared_ptr<DuviduEvent>& event, const ScopeBlock& block);
    static DuviduId captureError(const NSError& error);
    static DuviduId captureError(const NSError& error, const std::shared_ptr<DuviduScope>& scope);
    static DuviduId captureError(const NSError& error, const ScopeBlock& block);
    static DuviduId captureException(const NSException& exception);
    static DuviduId captureException(const NSException& exception, const std::shared_ptr<DuviduScope>& scope);
    static DuviduId captureException(const NSException& exception, const ScopeBlock& block);
    static DuviduId captureMessage(const std::string& message);
    static DuviduId captureMessage(const std::string& message, const std::shared_ptr<DuviduScope>& scope);
    static DuviduId captureMessage(const std::string& message, const ScopeBlock& block);
    static void captureCrashEvent(const std::shared_ptr<DuviduEvent>& event);
    static void captureCrashEvent(const std::shared_ptr<DuviduEvent>& event, const std::shared_ptr<DuviduScope>& scope);

    static std::shared_ptr<DuviduTracer> startTransactionWithName(const std::string& name,
                                                                  const std::string& operation,
                                                                  bool bindToScope = false);
    static std::shared_ptr<DuviduTracer> startTransactionWithContext(const DuviduTransactionContext& transactionContext,
                                                                     bool bindToScope = false,
                                                                     const Value::Object& customSamplingContext = {});
    static std::shared_ptr<DuviduTracer> startTransactionWithContext(const DuviduTransactionContext& transactionContext,
                                                                     const Value::Object& customSamplingContext);

    static void captureEnvelope(const DuviduEnvelope& envelope);
    // Only while the current hub has a client.
    static void storeEnvelope(const DuviduEnvelope& envelope);
    static void captureUserFeedback(const DuviduUserFeedback& userFeedback);
    static void addBreadcrumb(const DuviduBreadcrumb& breadcrumb);
    static void configureScope(const ScopeBlock& block);
    static void setUser(std::optional<DuviduUser> user);
    static void startSession();
    static void endSession();
    static void reportFullyDisplayed();
    static void flush(double timeout);

    // Uninstalls the integrations in installation order, closes and unbinds the client, drops the hub and the
    // container's services. The client's close takes `timeout` seconds at most, by default the options'
    // shutdownTimeInterval (an application that must end by a deadline gives what it has left). close() is
    // close(std::nullopt), a function of its own for programs built against an earlier version.
    static void close();
    static void close(std::optional<double> timeout);
    // Ends the process at once with a trap, so that the crash monitors record it.
    [[noreturn]] static void crash();

private:
    template <typename Capture>
    static DuviduId captureWithScopeBlock(const ScopeBlock& block, Capture capture);
};

}  // namespace duvidu
