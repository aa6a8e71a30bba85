// The on-disk cache: where it lives, how envelopes are named, written, limited and aged, and the session and state
// files.
#include "Duvidu/DuviduFileManager.h"

#include <filesystem>
#include <fstream>

#include "Duvidu/DuviduEnvelopeAttachmentHeader.h"
#include "Duvidu/DuviduError.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduSerialization.h"
#include "DuviduTestSupport.h"
#include "support/TempHome.h"

using namespace duvidu;
namespace fs = std::filesystem;

namespace {

DuviduEnvelopeItem item(const std::string& type)
{
    return DuviduEnvelopeItem(std::make_shared<DuviduEnvelopeItemHeader>(type, 2), dataFromString("{}"));
}

DuviduEnvelope envelope(std::vector<DuviduEnvelopeItem> items, const DuviduId& id = DuviduId())
{
    return DuviduEnvelope(DuviduEnvelopeHeader(id, nullptr), std::move(items));
}

class RecordingDelegate : public DuviduFileManagerDelegate {
public:
    void envelopeDeleted(const DuviduEnvelope& envelope) override
    {
        for (const auto& item : envelope.items()) deleted.push_back(item.header()->type());
    }
    std::vector<std::string> deleted;
};

std::string contents(const std::string& path)
{
    return duvidu_readTextFile(path.c_str()).value_or("<missing>");
}

class DuviduFileManagerTest : public duvidutest::DuviduTest {
protected:
    void SetUp() override
    {
        DuviduTest::SetUp();
        options.setDsn("https://key@example.com/42");
    }
    std::shared_ptr<DuviduFileManager> make(NSError* error = nullptr)
    {
        return DuviduFileManager::initWithOptions(options, clock, queue, error);
    }

    vctest::TempHome home;
    DuviduOptions options;
    std::shared_ptr<DuviduDispatchQueueWrapper> queue = std::make_shared<DuviduDispatchQueueWrapper>();
};

TEST_F(DuviduFileManagerTest, LivesInTheCacheFolderUnderTheDsnsHashAndDropsALeftoverEventsFolder)
{
    const std::string expected = home.cache().string() + "/duvidu/82794c77565e3ac54d6b25ef926693b511c44654";
    fs::create_directories(expected + "/events/old");
    auto manager = make();
    ASSERT_TRUE(manager);
    EXPECT_EQ(manager->duviduPath(), expected);
    EXPECT_TRUE(fs::is_directory(expected + "/envelopes"));
    EXPECT_FALSE(fs::exists(expected + "/events"));
    EXPECT_EQ(manager->currentSessionFilePath(), expected + "/session.current");

    options.setDsn("https://key@example.com/43");
    EXPECT_NE(make()->duviduPath(), expected);
}

TEST_F(DuviduFileManagerTest, AFolderThatCannotBeMadeGivesNoFileManagerAndACacheError)
{
    fs::create_directories(home.cache());
    std::ofstream(home.cache() / "duvidu") << "a file where the folder should be";
    NSError error("", 0);
    EXPECT_EQ(make(&error), nullptr);
    EXPECT_EQ(error.domain(), DuviduErrorDomain);
    EXPECT_EQ(error.code(), 108);
    EXPECT_EQ(error.localizedDescription().rfind("Could not create the folder " + home.cache().string() + "/duvidu/", 0),
              0u)
        << error.localizedDescription();
    const auto lines = logOutput->lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("[Duvidu] [error] [DuviduFileManager:", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("] Failed to create the folder " + home.cache().string() + "/duvidu/"), std::string::npos)
        << lines[0];
}

TEST_F(DuviduFileManagerTest, EnvelopeFilesHoldTheEnvelopeBytesAndSortByAge)
{
    auto manager = make();
    std::vector<std::string> stored;
    for (int i = 0; i < 12; ++i) stored.push_back(manager->storeEnvelope(envelope({item("event")})));
    clock->now += std::chrono::seconds(1);
    stored.push_back(make()->storeEnvelope(envelope({item("event")})));  // a later run starts counting at 0 again

    EXPECT_EQ(manager->envelopePaths(), stored);
    const DuviduId id;
    const auto written = envelope({item("event"), item("session")}, id);
    const auto path = manager->storeEnvelope(written);
    EXPECT_EQ(fs::path(path).filename().string(), "00001700000001000000-0000000012-" + id.duviduIdString() + ".envelope");
    EXPECT_EQ(dataFromString(contents(path)), DuviduSerialization::dataWithEnvelope(written));
    EXPECT_EQ(manager->getOldestEnvelope()->path, stored[0]);
    for (const auto& entry : fs::directory_iterator(manager->envelopesPath()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "a temporary file was left behind";
}

TEST_F(DuviduFileManagerTest, OverTheLimitTheOldestGoAndTheDelegateHearsOfThem)
{
    options.maxCacheItems = 2;
    auto manager = make();
    auto delegate = std::make_shared<RecordingDelegate>();
    manager->setDelegate(delegate);
    const auto oldest = manager->storeEnvelope(envelope({item("event"), item("attachment"), item("client_report")}));
    const auto second = manager->storeEnvelope(envelope({item("session")}));
    const auto third = manager->storeEnvelope(envelope({item("transaction")}));

    EXPECT_EQ(manager->envelopePaths(), (std::vector{second, third}));
    EXPECT_EQ(delegate->deleted, (std::vector<std::string>{"event", "attachment", "client_report"}));
}

TEST_F(DuviduFileManagerTest, WithTheClockSetBackNewFilesStillSortLastAndTheLimitTakesTheOldest)
{
    options.maxCacheItems = 3;
    auto manager = make();
    std::vector<std::string> stored;
    for (int i = 0; i < 2; ++i) stored.push_back(manager->storeEnvelope(envelope({item("event")})));
    clock->now -= std::chrono::hours(1);
    for (int i = 0; i < 2; ++i) stored.push_back(make()->storeEnvelope(envelope({item("event")})));

    EXPECT_EQ(manager->envelopePaths(), std::vector(stored.begin() + 1, stored.end()));
}

TEST_F(DuviduFileManagerTest, AtStartTemporaryFilesOfWritersThatDiedGoAndThoseBeingWrittenStay)
{
    auto manager = make();
    const auto minute = std::chrono::seconds(static_cast<int>(DuviduFileManager::kAbandonedTemporaryFileAgeSeconds));
    const auto old = clock->now - 2 * minute;
    auto leftover = [&](const std::string& folder, const std::string& name, DuviduDate written) {
        const std::string path = folder + "/" + name;
        std::ofstream(path) << "half an envelope";
        fs::last_write_time(path, std::chrono::file_clock::from_sys(written));
        return path;
    };
    const auto abandoned = leftover(manager->envelopesPath(), ".0001-0000000000-x.envelope.Ab12Cd", old);
    const auto abandonedState = leftover(manager->duviduPath(), ".session.current.Zz9Yy8", old);
    const auto justMade = leftover(manager->envelopesPath(), ".0002-0000000000-x.envelope.Ef34Gh", clock->now);
    const auto beingWritten = leftover(manager->envelopesPath(), ".0003-0000000000-x.envelope.Ij56Kl", old);
    auto writer = DuviduFileLock::acquire(beingWritten);  // as the writer holds it
    ASSERT_TRUE(writer);

    manager->deleteOldEnvelopeItems();
    ASSERT_TRUE(queue->queue()->waitUntilIdle(std::chrono::seconds(10)));
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_FALSE(fs::exists(abandonedState));
    EXPECT_TRUE(fs::exists(justMade));
    EXPECT_TRUE(fs::exists(beingWritten));
}

TEST_F(DuviduFileManagerTest, OnlyFilesOlderThanNinetyDaysAreDeleted)
{
    auto manager = make();
    const auto old = manager->storeEnvelope(envelope({item("event")}));
    const auto recent = manager->storeEnvelope(envelope({item("event")}));
    const auto days = [](int n) { return std::chrono::hours(24 * n); };
    fs::last_write_time(old, std::chrono::file_clock::from_sys(clock->now - days(91)));
    fs::last_write_time(recent, std::chrono::file_clock::from_sys(clock->now - days(89)));

    manager->deleteOldEnvelopeItems();
    ASSERT_TRUE(queue->queue()->waitUntilIdle(std::chrono::seconds(10)));
    EXPECT_EQ(manager->envelopePaths(), std::vector{recent});
}

TEST_F(DuviduFileManagerTest, SessionFilesAreWrittenReadAndDeleted)
{
    auto manager = make();
    EXPECT_EQ(manager->readCurrentSession(), nullptr);
    DuviduSession session("app@1.0+1", "installation");
    session.incrementErrors();
    manager->storeCurrentSession(session);
    auto current = manager->readCurrentSession();
    ASSERT_TRUE(current);
    EXPECT_EQ(current->sessionId(), session.sessionId());
    EXPECT_EQ(current->errors(), 1u);
    manager->deleteCurrentSession();
    EXPECT_EQ(manager->readCurrentSession(), nullptr);

    manager->storeCrashedSession(session);
    ASSERT_TRUE(manager->readCrashedSession());
    EXPECT_EQ(manager->readCrashedSession()->sessionId(), session.sessionId());
    manager->deleteCrashedSession();
    EXPECT_FALSE(fs::exists(manager->crashedSessionFilePath()));

    std::ofstream(manager->currentSessionFilePath()) << "{\"sid\":";
    EXPECT_EQ(manager->readCurrentSession(), nullptr);
}

TEST_F(DuviduFileManagerTest, StateFilesTakeTheirPreviousNamesAndMissingOnesLeaveThePreviousAlone)
{
    auto manager = make();
    std::ofstream(manager->appStateFilePath()) << "state 2";
    std::ofstream(manager->previousAppStateFilePath()) << "state 1";
    std::ofstream(manager->breadcrumbsFilePathOne()) << "crumbs 1";
    std::ofstream(manager->previousBreadcrumbsFilePathTwo()) << "old crumbs 2";

    manager->moveAppStateToPreviousAppState();
    manager->moveBreadcrumbsToPreviousBreadcrumbs();
    EXPECT_FALSE(fs::exists(manager->appStateFilePath()));
    EXPECT_EQ(contents(manager->previousAppStateFilePath()), "state 2");
    EXPECT_EQ(contents(manager->previousBreadcrumbsFilePathOne()), "crumbs 1");
    EXPECT_EQ(contents(manager->previousBreadcrumbsFilePathTwo()), "old crumbs 2");
    EXPECT_EQ(fs::path(manager->previousBreadcrumbsFilePathOne()).filename(), "previous.breadcrumbs.1.state");
}

}  // namespace
