// What the SDK keeps on disk for the next launch: the scope's breadcrumbs as JSON lines in two alternating files, and
// the application state with its lifecycle flags.
#include <sys/utsname.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "Duvidu/DuviduAppStateManager.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduScope.h"
#include "Duvidu/DuviduSerialization.h"
#include "Duvidu/DuviduWatchdogTerminationScopeObserver.h"
#include "DuviduTestSupport.h"
#include "support/TempHome.h"

using namespace duvidu;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The "message" of every JSON line of the file, in order; "<missing>" when there is no file.
std::vector<std::string> messages(const std::string& path)
{
    auto text = duvidu_readTextFile(path.c_str());
    if (!text) return {"<missing>"};
    std::vector<std::string> result;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        auto json = DuviduSerialization::JSONObjectWithData(reinterpret_cast<const uint8_t*>(line.data()), line.size());
        const Value::Object* object = json ? json->asObject() : nullptr;
        auto message = object && object->count("message") ? object->at("message").asString() : nullptr;
        result.push_back(message ? *message : "<not a breadcrumb line>");
    }
    return result;
}

DuviduBreadcrumb crumb(const std::string& message)
{
    DuviduBreadcrumb breadcrumb;
    breadcrumb.message = message;
    return breadcrumb;
}

class DuviduWatchdogTerminationTest : public duvidutest::DuviduTest {
protected:
    vctest::TempHome home;
    std::string one = (home.path() / "breadcrumbs.1.state").string();
    std::string two = (home.path() / "breadcrumbs.2.state").string();
};

TEST_F(DuviduWatchdogTerminationTest, BreadcrumbsAlternateBetweenTwoFilesOfAtMostTheCapEach)
{
    auto observer = std::make_shared<DuviduWatchdogTerminationScopeObserver>(3, one, two);
    DuviduScope scope(3);
    scope.addObserver(observer);
    using Lines = std::vector<std::string>;

    for (auto message : {"a", "b"}) scope.addBreadcrumb(crumb(message));
    EXPECT_EQ(messages(one), (Lines{"a", "b"}));
    EXPECT_EQ(messages(two), Lines{"<missing>"});

    for (auto message : {"c", "d", "e"}) scope.addBreadcrumb(crumb(message));
    EXPECT_EQ(messages(one), (Lines{"a", "b", "c"}));
    EXPECT_EQ(messages(two), (Lines{"d", "e"}));

    // The first file is emptied when it takes over again: together the files still hold the last three.
    for (auto message : {"f", "g"}) scope.addBreadcrumb(crumb(message));
    EXPECT_EQ(messages(two), (Lines{"d", "e", "f"}));
    EXPECT_EQ(messages(one), (Lines{"g"}));

    scope.clearBreadcrumbs();
    EXPECT_EQ(messages(one), Lines{});
    EXPECT_EQ(messages(two), Lines{"<missing>"});
    scope.addBreadcrumb(crumb("h"));
    scope.clear();
    scope.addBreadcrumb(crumb("i"));
    EXPECT_EQ(messages(one), Lines{"i"});
}

TEST_F(DuviduWatchdogTerminationTest, ABreadcrumbThatIsNotJSONIsLoggedAndLeftOut)
{
    DuviduWatchdogTerminationScopeObserver observer(10, one, two);
    observer.addSerializedBreadcrumb({{"message", "x"}, {"data", Value::Object{{"bad", DuviduDate{}}}}});
    EXPECT_EQ(messages(one), std::vector<std::string>{});
    bool logged = false;
    for (const auto& line : logOutput->lines())
        logged |= line.find("[error] [DuviduWatchdogTerminationScopeObserver:") != std::string::npos &&
                  line.find("] Error serializing breadcrumb: ") != std::string::npos;
    EXPECT_TRUE(logged);
    observer.addSerializedBreadcrumb({{"message", "y"}});
    EXPECT_EQ(messages(one), std::vector<std::string>{"y"});
}

class FixedSysctl : public DuviduSysctl {
public:
    DuviduDate systemBootTimestamp() const override { return DuviduDate(1700000000s); }
};

class TracedCrashWrapper : public DuviduCrashWrapper {
public:
    bool isBeingTraced() const override { return true; }
};

TEST_F(DuviduWatchdogTerminationTest, AppStateFollowsTheLifecycleWhileStarted)
{
    auto options = std::make_shared<DuviduOptions>();
    options->setDsn("https://key@example.com/42");
    options->releaseName = "app@1.0+1";
    auto queue = std::make_shared<DuviduDispatchQueueWrapper>();
    auto fileManager = DuviduFileManager::initWithOptions(*options, clock, queue);
    ASSERT_TRUE(fileManager);
    auto center = std::make_shared<DuviduNSNotificationCenterWrapper>();
    auto manager = std::make_shared<DuviduAppStateManager>(options, std::make_shared<TracedCrashWrapper>(),
                                                           fileManager, std::make_shared<FixedSysctl>(), center);
    EXPECT_FALSE(fileManager->readAppState());

    manager->start();
    auto state = fileManager->readAppState();
    ASSERT_TRUE(state);
    struct utsname name {};
    ASSERT_EQ(uname(&name), 0);
    EXPECT_EQ(state->osVersion, name.release);
    EXPECT_EQ(state->releaseName, "app@1.0+1");
    EXPECT_EQ(state->systemBootTimestamp, DuviduDate(1700000000s));
    EXPECT_TRUE(state->isDebugging);
    EXPECT_FALSE(state->isActive);
    EXPECT_FALSE(state->wasTerminated);

    center->postNotificationName(DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    EXPECT_TRUE(fileManager->readAppState()->isActive);
    center->postNotificationName(DuviduNSNotificationCenterWrapper::willResignActiveNotificationName());
    EXPECT_FALSE(fileManager->readAppState()->isActive);
    center->postNotificationName(DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    center->postNotificationName(DuviduNSNotificationCenterWrapper::willTerminateNotificationName());
    EXPECT_TRUE(fileManager->readAppState()->isActive);
    EXPECT_TRUE(fileManager->readAppState()->wasTerminated);

    // The next launch moves the state aside before it stores its own.
    manager->stop();
    center->postNotificationName(DuviduNSNotificationCenterWrapper::willResignActiveNotificationName());
    EXPECT_TRUE(fileManager->readAppState()->isActive);
    fileManager->moveAppStateToPreviousAppState();
    EXPECT_FALSE(fileManager->readAppState());
    EXPECT_TRUE(fs::exists(fileManager->previousAppStateFilePath()));
}

TEST(DuviduCrashWrapperTest, ATestProcessIsNotTracedUnlessADebuggerIsAttached)
{
    auto status = duvidu_readTextFile("/proc/self/status").value_or("");
    bool traced = status.find("\nTracerPid:\t0\n") == std::string::npos;
    EXPECT_EQ(DuviduCrashWrapper().isBeingTraced(), traced);
}

}  // namespace
