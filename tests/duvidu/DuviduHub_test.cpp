// The hub: sessions and their error counts, the previous run's session, crash events, envelopes, breadcrumbs and
// transactions, through a real client whose transport records what it is given.
#include "Duvidu/DuviduHub.h"

#include "Duvidu/DuviduEnvelopeItemHeader.h"
#include "DuviduHubTestSupport.h"

using namespace duvidu;
using namespace std::chrono_literals;
using duvidutest::RecordingTransport;

namespace {

using DuviduHubTest = duvidutest::HubTest;

TEST_F(DuviduHubTest, ANewSessionIsCapturedBeforeThePreviousOnesEnd)
{
    makeHub();
    hub->startSession();
    auto first = hub->session()->sessionId().duviduIdString();
    clock->now += 5s;
    hub->startSession();
    auto second = hub->session()->sessionId().duviduIdString();

    auto sent = sessions();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(text(sent[0], "sid"), first);
    EXPECT_EQ(text(sent[0], "status"), "ok");
    EXPECT_EQ(text(sent[1], "sid"), second);
    EXPECT_EQ(text(sent[1], "status"), "ok");
    EXPECT_EQ(text(sent[2], "sid"), first);
    EXPECT_EQ(text(sent[2], "status"), "exited");
    // The running session is on disk; it goes when it ends.
    EXPECT_EQ(fileManager->readCurrentSession()->sessionId().duviduIdString(), second);
    hub->endSession();
    EXPECT_FALSE(fileManager->readCurrentSession());
    EXPECT_EQ(text(sessions().back(), "status"), "exited");

    hub->endSession();
    EXPECT_TRUE(loggedContaining("] No session to end with timestamp."));
    // The status dump and the missing-release error carry no source prefix.
    EXPECT_TRUE(loggedContaining("[Duvidu] [debug] Capturing session with status: {"));
    options->releaseName.reset();
    hub->startSession();
    EXPECT_TRUE(logged("[Duvidu] [error] No option or release to start a session."));
}

TEST_F(DuviduHubTest, ErrorsBeforeASessionMoveIntoItOnlyWithAutomaticTracking)
{
    options->enableAutoSessionTracking = false;
    makeHub();
    hub->captureError(error);
    hub->captureError(error);
    EXPECT_EQ(hub->errorsBeforeSession(), 2u);
    hub->startSession();
    EXPECT_EQ(hub->session()->errors(), 0u);
    EXPECT_EQ(hub->errorsBeforeSession(), 2u);
    // Ending a session clears the count in any case.
    hub->endSession();
    EXPECT_EQ(hub->errorsBeforeSession(), 0u);

    options->enableAutoSessionTracking = true;
    hub->captureError(error);
    hub->captureException(NSException("Name", "reason"));
    hub->startSession();
    EXPECT_EQ(hub->session()->errors(), 2u);
    EXPECT_EQ(hub->errorsBeforeSession(), 0u);
    EXPECT_EQ(number(sessions().back(), "errors"), 2);
}

TEST_F(DuviduHubTest, OnlyErrorsThatAreSentCountInARunningSession)
{
    bool drop = true;
    options->beforeSend = [&](std::shared_ptr<DuviduEvent> event) { return drop ? nullptr : event; };
    makeHub();
    // Without a session a dropped error still counts.
    EXPECT_TRUE(hub->captureError(error).isEmpty());
    EXPECT_EQ(hub->errorsBeforeSession(), 1u);

    hub->endSession();
    hub->startSession();
    EXPECT_TRUE(hub->captureError(error).isEmpty());
    EXPECT_EQ(hub->session()->errors(), 0u);

    drop = false;
    transport->clear();
    auto id = hub->captureError(error);
    ASSERT_FALSE(id.isEmpty());
    EXPECT_EQ(hub->session()->errors(), 1u);
    EXPECT_EQ(fileManager->readCurrentSession()->errors(), 1u);
    // The event travels with the session's update.
    auto envelopes = transport->envelopes();
    ASSERT_EQ(envelopes.size(), 1u);
    EXPECT_TRUE(RecordingTransport::itemJSON(envelopes[0], "event"));
    ASSERT_TRUE(RecordingTransport::itemJSON(envelopes[0], "session"));
    EXPECT_EQ(number(*RecordingTransport::itemJSON(envelopes[0], "session"), "errors"), 1);

    // Events and messages never count, whatever their level.
    hub->captureEvent(std::make_shared<DuviduEvent>(DuviduLevel::Error));
    hub->captureMessage("note");
    EXPECT_EQ(hub->session()->errors(), 1u);
}

TEST_F(DuviduHubTest, AnEnvelopeWithAnErrorEventCarriesTheSessionUpdate)
{
    makeHub();
    auto envelopeWithLevel = [](const std::string& level) {
        auto json = R"({"event_id":"0123456789abcdef0123456789abcdef","level":")" + level + R"("})";
        auto header = std::make_shared<DuviduEnvelopeItemHeader>("event", json.size());
        return DuviduEnvelope(DuviduEnvelopeHeader(DuviduId(), nullptr),
                              DuviduEnvelopeItem(header, dataFromString(json)));
    };

    hub->captureEnvelope(envelopeWithLevel("error"));
    ASSERT_EQ(transport->envelopes().size(), 1u);
    EXPECT_EQ(transport->envelopes()[0].items().size(), 1u);  // no session runs

    hub->startSession();
    transport->clear();
    hub->captureEnvelope(envelopeWithLevel("warning"));
    hub->captureEnvelope(envelopeWithLevel("fatal"));
    auto envelopes = transport->envelopes();
    ASSERT_EQ(envelopes.size(), 2u);
    EXPECT_EQ(envelopes[0].items().size(), 1u);
    ASSERT_EQ(envelopes[1].items().size(), 2u);
    EXPECT_EQ(envelopes[1].items()[1].header()->type(), "session");
    EXPECT_EQ(number(*RecordingTransport::itemJSON(envelopes[1], "session"), "errors"), 1);
    EXPECT_EQ(hub->session()->errors(), 1u);
}

TEST_F(DuviduHubTest, TheStoredSessionOfThePreviousRunIsClosed)
{
    makeHub();
    hub->closeCachedSessionWithTimestamp(std::nullopt);
    EXPECT_TRUE(loggedContaining("] No cached session to close."));

    DuviduSession previous(options->releaseName, "did");
    fileManager->storeCurrentSession(previous);
    clock->now += 60s;
    hub->closeCachedSessionWithTimestamp(std::nullopt);
    EXPECT_TRUE(loggedContaining("] A cached session was found."));
    EXPECT_TRUE(loggedContaining(
        "] No timestamp to close session was provided. Closing as abnormal. Using session's start time "
        "2023-11-14 22:13:20 +0000"));
    auto sent = sessions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(text(sent[0], "status"), "abnormal");
    EXPECT_EQ(text(sent[0], "timestamp"), text(sent[0], "started"));
    EXPECT_EQ(number(sent[0], "duration"), 0);
    EXPECT_FALSE(fileManager->readCurrentSession());

    fileManager->storeCurrentSession(previous);
    hub->closeCachedSessionWithTimestamp(clock->now);
    EXPECT_TRUE(loggedContaining("] Closing cached session as exited."));
    EXPECT_EQ(text(sessions().back(), "status"), "exited");
    EXPECT_EQ(number(sessions().back(), "duration"), 60);
}

TEST_F(DuviduHubTest, AfterACrashTheStoredSessionGoesWithTheCrashEvent)
{
    makeHub();
    crashWrapper->crashed = true;
    DuviduSession previous(options->releaseName, "did");
    fileManager->storeCurrentSession(previous);
    hub->closeCachedSessionWithTimestamp(std::nullopt);
    EXPECT_TRUE(transport->envelopes().empty());
    ASSERT_TRUE(fileManager->readCurrentSession());

    // What the crash integration makes of it at start.
    previous.endSessionCrashedWithTimestamp(clock->now);
    fileManager->storeCrashedSession(previous);
    fileManager->deleteCurrentSession();

    auto crash = std::make_shared<DuviduEvent>(DuviduLevel::Fatal);
    hub->captureCrashEvent(crash);
    EXPECT_TRUE(crash->isCrashEvent);
    auto envelopes = transport->envelopes();
    ASSERT_EQ(envelopes.size(), 1u);
    EXPECT_TRUE(RecordingTransport::itemJSON(envelopes[0], "event"));
    auto session = RecordingTransport::itemJSON(envelopes[0], "session");
    ASSERT_TRUE(session);
    EXPECT_EQ(text(*session, "status"), "crashed");
    EXPECT_FALSE(fileManager->readCrashedSession());

    // A second crash event has no session left to carry.
    hub->captureCrashEvent(std::make_shared<DuviduEvent>(DuviduLevel::Fatal));
    EXPECT_FALSE(RecordingTransport::itemJSON(transport->envelopes().back(), "session"));
}

TEST_F(DuviduHubTest, BreadcrumbsPassBeforeBreadcrumbAndTheCap)
{
    int calls = 0;
    options->beforeBreadcrumb = [&](std::shared_ptr<DuviduBreadcrumb> crumb) {
        ++calls;
        return crumb->message == "drop" ? nullptr : crumb;
    };
    makeHub();
    DuviduBreadcrumb kept, dropped;
    kept.message = "keep";
    dropped.message = "drop";
    hub->addBreadcrumb(kept);
    hub->addBreadcrumb(dropped);
    EXPECT_EQ(hub->scope()->breadcrumbs().size(), 1u);
    EXPECT_TRUE(loggedContaining("] Discarded Breadcrumb in `beforeBreadcrumb`"));

    options->maxBreadcrumbs = 0;
    hub->addBreadcrumb(kept);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(hub->scope()->breadcrumbs().size(), 1u);
}

TEST_F(DuviduHubTest, WithoutAClientNothingIsSentButTheUserIsSet)
{
    auto empty = std::make_shared<DuviduHub>(nullptr, nullptr);
    EXPECT_TRUE(empty->captureError(error).isEmpty());
    EXPECT_TRUE(empty->captureMessage("x").isEmpty());
    EXPECT_EQ(empty->errorsBeforeSession(), 0u);
    bool called = false;
    empty->configureScope([&](DuviduScope&) { called = true; });
    EXPECT_FALSE(called);
    empty->setUser(DuviduUser("u1"));
    EXPECT_EQ(empty->scope()->userObject()->userId, "u1");
    EXPECT_EQ(empty->scope()->maxBreadcrumbs(), 100);
    empty->close();
    EXPECT_TRUE(loggedContaining("] Closed the Hub."));
}

TEST_F(DuviduHubTest, AnUnsampledTransactionIsCountedLost)
{
    makeHub();
    auto tracer = hub->startTransactionWithName("load", "ui.load", true);
    EXPECT_EQ(tracer->sampled(), DuviduSampleDecision::No);
    EXPECT_EQ(tracer->transactionContext().origin, "manual");
    EXPECT_EQ(hub->scope()->span(), tracer);
    tracer->finish();
    EXPECT_EQ(hub->scope()->span(), nullptr);
    auto lost = transport->lost();
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0], RecordingTransport::Lost(DuviduDataCategory::Transaction, DuviduDiscardReason::SampleRate));
    EXPECT_TRUE(transport->envelopes().empty());

    options->setTracesSampleRate(1.0);
    makeHub();
    auto sampled = hub->startTransactionWithName("load", "ui.load");
    EXPECT_EQ(sampled->sampled(), DuviduSampleDecision::Yes);
    EXPECT_EQ(sampled->transactionContext().sampleRate, 1.0);
    sampled->finish();
    ASSERT_EQ(transport->envelopes().size(), 1u);
    EXPECT_EQ(text(*RecordingTransport::itemJSON(transport->envelopes()[0], "transaction"), "transaction"), "load");
}

}  // namespace
