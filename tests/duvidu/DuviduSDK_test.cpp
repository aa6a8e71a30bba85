// The SDK's entry points: before the start, the start with its integration registry, scope blocks, close, and the
// container members made from the running client.
#include "Duvidu/DuviduSDK.h"

#include <filesystem>
#include <regex>

#include "Duvidu/DuviduAppStateManager.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduIntegrationRegistry.h"
#include "Duvidu/PrivateDuviduSDKOnly.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashStackCursor.h"
#include "DuviduHubTestSupport.h"
#include "support/LoopbackHttpServer.h"

using namespace duvidu;
using duvidutest::RecordingTransport;
namespace fs = std::filesystem;

namespace {

std::vector<std::string>& uninstalled()
{
    static std::vector<std::string> names;
    return names;
}

class TestIntegrationA : public DuviduBaseIntegration {
public:
    bool installWithOptions(const std::shared_ptr<const DuviduOptions>&) override { return true; }
    void uninstall() override { uninstalled().push_back(name()); }
    virtual std::string name() const { return "A"; }
};
class TestIntegrationB : public TestIntegrationA {
    std::string name() const override { return "B"; }
};
class TestIntegrationUnrelated : public DuviduBaseIntegration {
public:
    bool installWithOptions(const std::shared_ptr<const DuviduOptions>&) override { return true; }
    void uninstall() override { uninstalled().push_back("C"); }
};

class DuviduSDKTest : public duvidutest::HubTest {
protected:
    void SetUp() override
    {
        HubTest::SetUp();
        DuviduSDK::setCurrentHub(nullptr);
        // A port that is taken but not listening: whatever the SDK sends there is refused and kept.
        options->setDsn("http://key@127.0.0.1:" + std::to_string(refusing.port()) + "/42");
        options->debug = true;
        auto& registry = DuviduIntegrationRegistry::shared();
        registry.add<TestIntegrationA>("DuviduTestIntegrationA");
        registry.add<TestIntegrationB>("DuviduTestIntegrationB");
        registry.add<TestIntegrationUnrelated>("DuviduTestIntegrationUnrelated");
        uninstalled().clear();
    }
    void TearDown() override
    {
        DuviduSDK::close();
        HubTest::TearDown();
    }

    // The lines of the log from the first that contains the text on, with the source location's line numbers
    // blanked.
    std::vector<std::string> linesWithout(const std::string& prefix)
    {
        std::vector<std::string> result;
        for (auto line : logOutput->lines()) {
            line = std::regex_replace(line, std::regex(":[0-9]+\\] "), ":_] ");
            if (line.rfind(prefix, 0) == 0) result.push_back(line.substr(prefix.size()));
        }
        return result;
    }

    vctest::LoopbackHttpServer refusing{[](int, const vctest::HttpRequest&) {},
                                        vctest::LoopbackHttpServer::Start::Refusing};
};

TEST_F(DuviduSDKTest, BeforeTheStartCapturesMakeTheEmptyHubOnceAndStoreNothing)
{
    EXPECT_FALSE(DuviduSDK::isEnabled());
    EXPECT_EQ(DuviduSDK::options(), nullptr);
    EXPECT_EQ(DuviduSDK::span(), nullptr);
    EXPECT_TRUE(DuviduSDK::captureError(error).isEmpty());
    auto hub = DuviduSDK::currentHub();
    EXPECT_EQ(hub->getClient(), nullptr);
    EXPECT_TRUE(DuviduSDK::captureMessage("x", [](DuviduScope&) {}).isEmpty());
    DuviduSDK::storeEnvelope(DuviduEnvelope(DuviduEnvelopeHeader(DuviduId(), nullptr),
                                            DuviduEnvelopeItem(DuviduSession("r", "d"))));
    DuviduSDK::startSession();
    EXPECT_EQ(DuviduSDK::currentHub(), hub);
    EXPECT_FALSE(fs::exists(home.cache() / "duvidu"));
    // The container's client-bound members stay unset and are not kept.
    auto container = DuviduDependencyContainer::sharedInstance();
    EXPECT_EQ(container->fileManager(), nullptr);
    EXPECT_EQ(container->appStateManager(), nullptr);

    auto defaults = PrivateDuviduSDKOnly::options();
    ASSERT_NE(defaults, nullptr);
    EXPECT_EQ(defaults->maxBreadcrumbs, 100u);
}

TEST_F(DuviduSDKTest, IntegrationsInstallByNameInListOrderOncePerClass)
{
    options->setIntegrations({"DuviduNoSuchIntegration", "DuviduTestIntegrationB",
                              "DuviduAutoSessionTrackingIntegration", "DuviduAutoSessionTrackingIntegration",
                              "DuviduTestIntegrationA", "DuviduTestIntegrationUnrelated",
                              "DuviduSwiftAsyncIntegration"});
    DuviduSDK::startWithOptions(options);
    const std::vector<std::string> expected = {
        "[error] [DuviduSDK:_] [DuviduHub doInstallIntegrations] couldn't find \"DuviduNoSuchIntegration\" -> "
        "skipping.",
        "[debug] [DuviduSDK:_] Integration installed: DuviduTestIntegrationB",
        "[debug] [DuviduSDK:_] Integration installed: DuviduAutoSessionTrackingIntegration",
        "[error] [DuviduSDK:_] [DuviduHub doInstallIntegrations] already installed "
        "\"DuviduAutoSessionTrackingIntegration\" -> skipping.",
        // B is an A: an instance of a subclass counts as installed.
        "[error] [DuviduSDK:_] [DuviduHub doInstallIntegrations] already installed \"DuviduTestIntegrationA\" -> "
        "skipping.",
        "[debug] [DuviduSDK:_] Integration installed: DuviduTestIntegrationUnrelated",
    };
    std::vector<std::string> installLines;
    for (const auto& line : linesWithout("[Duvidu] "))
        if (line.find("[DuviduSDK:_] ") != std::string::npos && line.find("SDK initialized") == std::string::npos)
            installLines.push_back(line);
    EXPECT_EQ(installLines, expected);
    EXPECT_EQ(linesWithout("[Duvidu] [debug] [DuviduSDK:_] SDK initialized! Version: ").size(), 1u);

    EXPECT_TRUE(DuviduSDK::isEnabled());
    EXPECT_EQ(DuviduSDK::options(), options);
    auto hub = DuviduSDK::currentHub();
    EXPECT_EQ(hub->installedIntegrationNames(),
              (std::set<std::string>{"DuviduAutoSessionTrackingIntegration", "DuviduTestIntegrationB",
                                     "DuviduTestIntegrationUnrelated"}));
    // The async-stitching integration declines by default and switches stitching off.
    EXPECT_FALSE(hub->hasIntegration("DuviduSwiftAsyncIntegration"));
    EXPECT_FALSE(duviducrashsc_swiftAsyncStitching());

    DuviduSDK::close();
    EXPECT_EQ(uninstalled(), (std::vector<std::string>{"B", "C"}));
    EXPECT_FALSE(DuviduSDK::isEnabled());
    EXPECT_EQ(DuviduSDK::options(), nullptr);
    EXPECT_TRUE(DuviduSDK::captureError(error).isEmpty());
    EXPECT_EQ(DuviduSDK::currentHub()->installedIntegrations().size(), 0u);
    const std::vector<std::string> closing = {"Starting to close SDK.", "Uninstalled all integrations.",
                                              "Closed the Client.", "Closed the Hub.", "SDK closed!"};
    std::vector<std::string> closeLines;
    for (const auto& line : linesWithout("[Duvidu] [debug] "))
        if (std::find(closing.begin(), closing.end(), line.substr(line.find("] ") + 2)) != closing.end())
            closeLines.push_back(line.substr(line.find("] ") + 2));
    EXPECT_EQ(closeLines, closing);
}

TEST_F(DuviduSDKTest, TheAsyncStitchingIntegrationInstallsOnlyWithItsOption)
{
    options->setIntegrations({"DuviduSwiftAsyncIntegration"});
    options->swiftAsyncStacktraces = true;
    DuviduSDK::startWithOptions(options);
    EXPECT_TRUE(DuviduSDK::currentHub()->hasIntegration("DuviduSwiftAsyncIntegration"));
    EXPECT_TRUE(duviducrashsc_swiftAsyncStitching());
    DuviduSDK::close();
    EXPECT_FALSE(duviducrashsc_swiftAsyncStitching());
}

TEST_F(DuviduSDKTest, TheConfigureBlockRunsOnceBeforeTheStart)
{
    uint64_t before = DuviduSDK::startInvocations();
    int calls = 0;
    DuviduSDK::startWithConfigureOptions([&](DuviduOptions& configured) {
        ++calls;
        EXPECT_EQ(DuviduSDK::startInvocations(), before);
        EXPECT_FALSE(DuviduSDK::isEnabled());
        configured.setDsn(*options->dsn());
        configured.setIntegrations({});
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(DuviduSDK::startInvocations(), before + 1);
    EXPECT_EQ(DuviduSDK::options()->dsn(), options->dsn());
}

TEST_F(DuviduSDKTest, AScopeBlockChangesTheScopeOfThatEventOnly)
{
    makeHub();
    DuviduSDK::setCurrentHub(hub);
    auto tagged = DuviduSDK::captureMessage("with tag", [](DuviduScope& scope) { scope.setTagValue("v", "k"); });
    DuviduSDK::captureMessage("without");
    auto errorId = DuviduSDK::captureError(error, [](DuviduScope& scope) { scope.setTagValue("e", "k"); });
    ASSERT_FALSE(tagged.isEmpty());
    ASSERT_FALSE(errorId.isEmpty());
    auto envelopes = transport->envelopes();
    ASSERT_EQ(envelopes.size(), 3u);
    auto tags = [&](size_t i) { return *RecordingTransport::itemJSON(envelopes[i], "event")->at("tags").asObject(); };
    EXPECT_EQ(tags(0), (Value::Object{{"k", "v"}}));
    EXPECT_EQ(tags(1), Value::Object{});
    EXPECT_EQ(tags(2), (Value::Object{{"k", "e"}}));
    EXPECT_TRUE(hub->scope()->tags().empty());
}

TEST_F(DuviduSDKTest, TheContainerKeepsTheRunningClientsFileManagerAndAppStateUntilClose)
{
    options->setIntegrations({"DuviduWatchdogTerminationTrackingIntegration"});
    DuviduSDK::startWithOptions(options);
    auto container = DuviduDependencyContainer::sharedInstance();
    auto firstFileManager = container->fileManager();
    ASSERT_NE(firstFileManager, nullptr);
    EXPECT_EQ(firstFileManager, DuviduSDK::currentHub()->getClient()->fileManager());
    auto firstAppStateManager = container->appStateManager();
    ASSERT_NE(firstAppStateManager, nullptr);
    EXPECT_EQ(container->appStateManager(), firstAppStateManager);

    // The watchdog-termination integration keeps the app state and the breadcrumbs on disk.
    auto state = firstFileManager->readAppState();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->osVersion, DuviduAppStateManager::osVersion());
    DuviduBreadcrumb crumb;
    crumb.message = "kept";
    DuviduSDK::addBreadcrumb(crumb);
    EXPECT_NE(duvidu_readTextFile(firstFileManager->breadcrumbsFilePathOne().c_str()).value_or("").find("\"kept\""),
              std::string::npos);

    DuviduSDK::close();
    DuviduSDK::startWithOptions(options);
    container = DuviduDependencyContainer::sharedInstance();
    EXPECT_NE(container->fileManager(), nullptr);
    EXPECT_NE(container->fileManager(), firstFileManager);
    EXPECT_EQ(container->fileManager(), DuviduSDK::currentHub()->getClient()->fileManager());
    EXPECT_NE(container->appStateManager(), firstAppStateManager);
    // The previous run's files took their previous names at the start.
    EXPECT_TRUE(fs::exists(container->fileManager()->previousAppStateFilePath()));
    EXPECT_TRUE(fs::exists(container->fileManager()->previousBreadcrumbsFilePathOne()));
}

}  // namespace
