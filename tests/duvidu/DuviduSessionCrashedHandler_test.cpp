// The session of a crashed launch: ended as crashed at now minus the active time since the crash, never before it
// started, and moved from the current to the crashed session file.

#include "Duvidu/DuviduFileManager.h"
#include "Duvidu/DuviduSessionCrashedHandler.h"
#include "DuviduTestSupport.h"
#include "support/TempHome.h"

using namespace duvidu;
using namespace std::chrono_literals;

namespace {

class CrashedLaunch : public DuviduCrashWrapper {
public:
    bool crashedLastLaunch() const override { return crashed; }
    double activeDurationSinceLastCrash() const override { return activeSeconds; }
    bool crashed = true;
    double activeSeconds = 0;
};

class DuviduSessionCrashedHandlerTest : public duvidutest::DuviduTest {
protected:
    void SetUp() override
    {
        DuviduTest::SetUp();
        options.setDsn("https://key@127.0.0.1/1");
        fileManager = DuviduFileManager::initWithOptions(options, clock, std::make_shared<DuviduDispatchQueueWrapper>());
        ASSERT_TRUE(fileManager);
        session = std::make_shared<DuviduSession>(std::string("app@1"), "installation");  // started at the clock's time
        fileManager->storeCurrentSession(*session);
    }

    // Runs the handler 100 seconds after the session started.
    void handleLater()
    {
        clock->now = session->started() + 100s;
        DuviduSessionCrashedHandler(crashWrapper, fileManager).endCurrentSessionAsCrashedWhenCrashOrOOM();
    }

    vctest::TempHome home;
    DuviduOptions options;
    std::shared_ptr<DuviduFileManager> fileManager;
    std::shared_ptr<DuviduSession> session;
    std::shared_ptr<CrashedLaunch> crashWrapper = std::make_shared<CrashedLaunch>();
};

TEST_F(DuviduSessionCrashedHandlerTest, EndsTheSessionAtNowLessTheActiveTimeAndMovesIt)
{
    crashWrapper->activeSeconds = 30;
    handleLater();
    EXPECT_FALSE(fileManager->readCurrentSession());
    auto crashed = fileManager->readCrashedSession();
    ASSERT_TRUE(crashed);
    EXPECT_EQ(crashed->sessionId(), session->sessionId());
    EXPECT_EQ(crashed->status(), DuviduSessionStatus::Crashed);
    ASSERT_TRUE(crashed->timestamp());
    EXPECT_EQ(*crashed->timestamp(), session->started() + 70s);
}

TEST_F(DuviduSessionCrashedHandlerTest, NeverEndsItBeforeItStarted)
{
    crashWrapper->activeSeconds = 1000;
    handleLater();
    auto crashed = fileManager->readCrashedSession();
    ASSERT_TRUE(crashed && crashed->timestamp());
    EXPECT_EQ(*crashed->timestamp(), session->started());
    EXPECT_EQ(crashed->duration(), 0.0);
}

TEST_F(DuviduSessionCrashedHandlerTest, LeavesTheSessionAloneWhenTheLastLaunchDidNotCrash)
{
    crashWrapper->crashed = false;
    handleLater();
    EXPECT_TRUE(fileManager->readCurrentSession());
    EXPECT_FALSE(fileManager->readCrashedSession());
}

}  // namespace
