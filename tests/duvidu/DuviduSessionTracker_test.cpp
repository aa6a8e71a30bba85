// Automatic sessions from the application's lifecycle notifications, carried out by the current hub.
#include "Duvidu/DuviduSessionTracker.h"

#include "Duvidu/DuviduDateExtras.h"
#include "DuviduHubTestSupport.h"

using namespace duvidu;
using namespace std::chrono_literals;

namespace {

class DuviduSessionTrackerTest : public duvidutest::HubTest {
protected:
    void SetUp() override
    {
        HubTest::SetUp();
        makeHub();
        DuviduSDK::setCurrentHub(hub);
    }
    void post(const std::string& name) { center->postNotificationName(name); }
    std::shared_ptr<DuviduSessionTracker> startTracker()
    {
        auto tracker = std::make_shared<DuviduSessionTracker>(options, clock, center);
        tracker->start();
        return tracker;
    }
    std::vector<std::string> statuses()
    {
        std::vector<std::string> result;
        for (const auto& session : sessions()) result.push_back(text(session, "status"));
        return result;
    }

    std::shared_ptr<DuviduNSNotificationCenterWrapper> center = std::make_shared<DuviduNSNotificationCenterWrapper>();
    const std::string becomeActive = DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName();
    const std::string resignActive = DuviduNSNotificationCenterWrapper::willResignActiveNotificationName();
    const std::string terminate = DuviduNSNotificationCenterWrapper::willTerminateNotificationName();
};

TEST_F(DuviduSessionTrackerTest, TheForegroundTimeOfThePreviousRunEndsItsSessionAsExited)
{
    DuviduSession previous(options->releaseName, "did");
    fileManager->storeCurrentSession(previous);
    const auto leftForeground = clock->now + 90s;
    fileManager->storeTimestampLastInForeground(leftForeground);

    auto tracker = startTracker();
    auto sent = sessions();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(text(sent[0], "status"), "exited");
    EXPECT_EQ(number(sent[0], "duration"), 90);
    EXPECT_FALSE(fileManager->readTimestampLastInForeground());
    EXPECT_FALSE(fileManager->readCurrentSession());
}

TEST_F(DuviduSessionTrackerTest, ASessionRunsFromBecomeActiveToWillTerminate)
{
    auto tracker = startTracker();
    EXPECT_TRUE(sessions().empty());
    post(becomeActive);
    post(becomeActive);
    ASSERT_EQ(statuses(), std::vector<std::string>{"ok"});
    const auto sid = text(sessions()[0], "sid");

    // A short trip to the background keeps the session.
    clock->now += 10s;
    post(resignActive);
    ASSERT_TRUE(fileManager->readTimestampLastInForeground());
    clock->now += 29s;
    post(becomeActive);
    EXPECT_EQ(statuses(), std::vector<std::string>{"ok"});
    EXPECT_FALSE(fileManager->readTimestampLastInForeground());

    // A long one ends it when the application left the foreground and starts the next.
    const auto leftForeground = clock->now;
    post(resignActive);
    clock->now += 30s;
    post(becomeActive);
    ASSERT_EQ(statuses(), (std::vector<std::string>{"ok", "exited", "ok"}));
    EXPECT_EQ(text(sessions()[1], "sid"), sid);
    EXPECT_EQ(text(sessions()[1], "timestamp"), duvidu_toIso8601String(leftForeground));
    const auto second = text(sessions()[2], "sid");

    clock->now += 5s;
    post(terminate);
    ASSERT_EQ(statuses().size(), 4u);
    EXPECT_EQ(text(sessions()[3], "sid"), second);
    EXPECT_EQ(text(sessions()[3], "status"), "exited");
    EXPECT_EQ(text(sessions()[3], "timestamp"), duvidu_toIso8601String(clock->now));
    EXPECT_FALSE(fileManager->readCurrentSession());

    // Once stopped, the tracker no longer follows the application.
    tracker->stop();
    post(becomeActive);
    EXPECT_EQ(statuses().size(), 4u);
}

TEST_F(DuviduSessionTrackerTest, TerminatingInTheBackgroundEndsTheSessionWhenItLeftTheForeground)
{
    auto tracker = startTracker();
    post(becomeActive);
    const auto leftForeground = clock->now + 1s;
    clock->now = leftForeground;
    post(resignActive);
    clock->now += 600s;
    post(terminate);
    ASSERT_EQ(statuses(), (std::vector<std::string>{"ok", "exited"}));
    EXPECT_EQ(text(sessions()[1], "timestamp"), duvidu_toIso8601String(leftForeground));
    EXPECT_FALSE(fileManager->readTimestampLastInForeground());
}

}  // namespace
