// The event's JSON, and the envelope items made from events, attachments and user feedback.
#include <cmath>
#include <filesystem>
#include <fstream>

#include "Duvidu/DuviduEnvelopeAttachmentHeader.h"
#include "Duvidu/DuviduEnvelopeItem.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduFileText.h"
#include "Duvidu/DuviduUserFeedback.h"
#include "DuviduJSONTestSupport.h"
#include "DuviduTestSupport.h"

using namespace duvidu;
using duvidutest::parseJSON;
using duvidutest::roundTrip;

namespace {

class DuviduEventTest : public duvidutest::DuviduTest {
protected:
    void SetUp() override
    {
        DuviduTest::SetUp();
        clock->now = DuviduDate(std::chrono::milliseconds(1700000000250));
    }
};

const DuviduDate kOneAndAHalf{std::chrono::milliseconds(1500)};

std::shared_ptr<DuviduEvent> fullEvent()
{
    auto event = std::make_shared<DuviduEvent>(NSError("NSPOSIXErrorDomain", 2));
    event->eventId = DuviduId::fromUUIDString("9ec79c33ec9942ab8353589fcb2e04dc");
    event->isCrashEvent = true;
    event->startTimestamp = kOneAndAHalf;  // written for transactions only
    event->startSystemTime = 5;
    event->message = DuviduMessage("Could not open out.wav");
    event->message->setMessage("Could not open %@");
    event->message->setParams(Value::Array{"out.wav"});
    event->logger = "engine";
    event->serverName = "desk";
    event->releaseName = "vellumcaster@1.0.0+1";
    event->dist = "1";
    event->environment = "production";
    event->transaction = "Dictation";
    event->type = "default";
    event->tags = Value::Object{{"build", "debug"}};
    event->extra = Value::Object{{"count", 3}, {"when", kOneAndAHalf}, {"__duvidu_sdk_integrations", "x"}};
    event->sdk = Value::Object{{"name", "duvidu.cocoa"}, {"version", "8.8.0"}, {"integrations", Value::Array{"Crash"}}};
    event->modules = Value::Object{{"libc", "2.36"}};
    event->fingerprint = std::vector<std::string>{"{{ default }}", "wav"};
    DuviduUser user("42");
    user.email = "ada@example.org";
    user.geo = DuviduGeo{"Graz", "AT", "Styria"};
    user.data = Value::Object{{"since", kOneAndAHalf}};
    event->user = user;
    event->context = Value::Object{{"app", Value::Object{{"app_memory", 1024}, {"started", kOneAndAHalf}}},
                                   {"os", Value::Object{{"name", "Linux"}}}};

    DuviduFrame mainFrame;
    mainFrame.function = "main";
    DuviduThread thread(0);
    thread.name = "main";
    thread.isMain = true;
    thread.current = true;
    thread.crashed = false;
    thread.stacktrace = DuviduStacktrace({mainFrame}, {});
    event->threads = std::vector<DuviduThread>{thread};

    DuviduMechanism mechanism("NSError");
    mechanism.handled = true;
    mechanism.synthetic = Value(1);
    mechanism.desc = "ENOENT";
    mechanism.data = Value::Object{{"path", "out.wav"}};
    mechanism.helpLink = "https://example.org/help";
    mechanism.meta = DuviduMechanismMeta{Value::Object{{"number", 11}}, Value::Object{{"code", 1}},
                                         DuviduNSError("NSPOSIXErrorDomain", 2)};
    DuviduException exception("No such file (Code: 2)", "NSPOSIXErrorDomain");
    exception.mechanism = mechanism;
    exception.module = "engine";
    exception.threadId = 0;
    DuviduFrame openFrame;
    openFrame.function = "open";
    exception.stacktrace = DuviduStacktrace({openFrame}, {});
    exception.stacktrace->snapshot = true;
    event->exceptions = std::vector<DuviduException>{exception};

    mainFrame.inApp = true;
    event->stacktrace = DuviduStacktrace({mainFrame}, {{"lr", "0x10"}});
    DuviduDebugMeta image;
    image.debugID = "6ef1b4a2-0000-0000-0000-000000000000";
    image.type = "elf";
    image.name = "/usr/bin/vellumcaster";
    image.imageAddress = "0x0000555555554000";
    image.imageSize = 8192;
    event->debugMeta = std::vector<DuviduDebugMeta>{image};

    DuviduBreadcrumb breadcrumb(DuviduLevel::Warning, "ui");
    breadcrumb.timestamp = kOneAndAHalf;
    breadcrumb.type = "user";
    breadcrumb.message = "clicked";
    breadcrumb.data = Value::Object{{"when", kOneAndAHalf}};
    event->breadcrumbs = std::vector<DuviduBreadcrumb>{breadcrumb};
    event->serializedBreadcrumbs = std::vector<Value::Object>{{{"level", "info"}, {"message", "from a crash report"}}};

    event->request = std::make_shared<DuviduRequest>();
    event->request->setBodySize(10);
    event->request->setMethod("GET");
    event->request->setUrl("http://127.0.0.1/model");
    event->request->setHeaders(Value::Object{{"Accept", "*/*"}});
    return event;
}

std::string text(const DuviduData& data)
{
    return std::string(data.begin(), data.end());
}

TEST_F(DuviduEventTest, FullEventMatchesItsGoldenJSON)
{
    auto golden = duvidu_readTextFile(VC_TEST_DATA_DIR "/event_full.json");
    ASSERT_TRUE(golden);
    auto expected = parseJSON(*golden);
    auto actual = roundTrip(fullEvent()->serialize());
    // Key by key first, so that a difference names its key.
    ASSERT_TRUE(actual.isObject() && expected.isObject());
    for (const auto& [key, value] : *expected.asObject()) {
        auto it = actual.asObject()->find(key);
        ASSERT_NE(it, actual.asObject()->end()) << key;
        EXPECT_EQ(it->second, value) << key << ": " << it->second.description();
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(DuviduEventTest, NewEventsWriteTheirThreeKeysAndFillAMissingTimestamp)
{
    DuviduEvent event;
    EXPECT_EQ(roundTrip(event.serialize()),
              parseJSON(R"({"event_id":")" + event.eventId.duviduIdString() +
                        R"(","timestamp":1700000000.25,"platform":"cocoa"})"));
    EXPECT_EQ(DuviduEvent(NSError("d", 1)).serialize().at("level"), Value("error"));

    event.timestamp.reset();
    event.platform = "other";
    clock->now = DuviduDate(std::chrono::seconds(1700000100));
    EXPECT_EQ(event.serialize().at("platform"), Value("cocoa"));
    EXPECT_EQ(event.timestamp, clock->now);

    // Empty lists write nothing, empty sanitized dictionaries write {}.
    event.exceptions = std::vector<DuviduException>{};
    event.threads = std::vector<DuviduThread>{};
    event.breadcrumbs = std::vector<DuviduBreadcrumb>{};
    event.tags = Value::Object{};
    event.extra = Value::Object{{"__duvidu_hidden", 1}};
    auto json = event.serialize();
    EXPECT_FALSE(json.contains("exception") || json.contains("threads") || json.contains("breadcrumbs"));
    EXPECT_EQ(json.at("tags"), Value(Value::Object{}));
    EXPECT_EQ(json.at("extra"), Value(Value::Object{}));
    EXPECT_FALSE(json.contains("start_timestamp"));
}

TEST_F(DuviduEventTest, TransactionsWriteTheirStartTimestamp)
{
    DuviduEvent event;
    event.type = "transaction";
    EXPECT_EQ(event.serialize().at("start_timestamp"), event.serialize().at("timestamp"));
    event.startTimestamp = kOneAndAHalf;
    EXPECT_EQ(event.serialize().at("start_timestamp"), Value(1.5));
}

TEST_F(DuviduEventTest, LongMessageIsCutToWholeCharactersAndStaysValidJSON)
{
    std::string emoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 units
    std::string longText = "a";
    for (int i = 0; i < 5000; ++i) longText += emoji;
    DuviduEvent event;
    event.message = DuviduMessage(longText);
    auto item = DuviduEnvelopeItem(event);
    auto json = parseJSON(text(item.data()));
    const auto& formatted = *json.asObject()->at("message").asObject()->at("formatted").asString();
    EXPECT_EQ(formatted, "a" + [&] {
        std::string kept;
        for (int i = 0; i < 4095; ++i) kept += emoji;
        return kept;
    }());  // 1 + 4095 × 2 = 8191 units: one more emoji would make 8193

    EXPECT_EQ(DuviduMessage(std::string(10000, 'x')).formatted().size(), 8192u);
    EXPECT_EQ(DuviduMessage(std::string(8192, 'x')).formatted().size(), 8192u);
    DuviduMessage message("m");
    message.setMessage(std::string(8191, 'x') + "\xC3\xA9\xC3\xA9");  // é is one unit in two bytes
    EXPECT_EQ(*message.message(), std::string(8191, 'x') + "\xC3\xA9");
}

TEST_F(DuviduEventTest, EventItemCarriesTheEventOrTheWarningThatReplacesIt)
{
    auto event = fullEvent();
    DuviduEnvelopeItem item(*event);
    EXPECT_EQ(item.header()->type(), "default");
    EXPECT_EQ(item.header()->length(), item.data().size());
    EXPECT_EQ(parseJSON(text(item.data())), roundTrip(event->serialize()));
    DuviduEvent plain;
    EXPECT_EQ(DuviduEnvelopeItem(plain).header()->type(), "event");

    event->tags->emplace("recorded", DuviduDate(std::chrono::seconds(1)));  // tags are written unsanitized
    DuviduEnvelopeItem fallback(*event);
    EXPECT_EQ(fallback.header()->type(), "event");
    EXPECT_EQ(fallback.header()->length(), fallback.data().size());
    auto json = parseJSON(text(fallback.data()));
    EXPECT_EQ(json, parseJSON(R"({"event_id":"9ec79c33ec9942ab8353589fcb2e04dc","timestamp":1700000000.25,
        "platform":"cocoa","level":"warning",
        "message":{"formatted":"JSON conversion error for event with message: 'Could not open out.wav'"}})"));
    auto lines = logOutput->lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("] Dictionary is not a valid JSON object."), std::string::npos);

    DuviduEvent silent;
    silent.modules = Value::Object{{"built", DuviduDate(std::chrono::seconds(1))}};
    auto silentJson = parseJSON(text(DuviduEnvelopeItem(silent).data()));
    EXPECT_EQ(silentJson.asObject()->at("message"),
              parseJSON(R"({"formatted":"JSON conversion error for event with message: '(null)'"})"));
}

TEST_F(DuviduEventTest, FeedbackAndAttachmentItems)
{
    DuviduUserFeedback feedback(DuviduId::fromUUIDString("9ec79c33ec9942ab8353589fcb2e04dc"));
    EXPECT_EQ(roundTrip(feedback.serialize()),
              parseJSON(R"({"event_id":"9ec79c33ec9942ab8353589fcb2e04dc","email":"","name":"","comments":""})"));
    feedback.comments = "It crashed";
    DuviduEnvelopeItem feedbackItem(feedback);
    EXPECT_EQ(feedbackItem.header()->type(), "user_report");
    EXPECT_EQ(parseJSON(text(feedbackItem.data())), roundTrip(feedback.serialize()));

    auto bytes = DuviduAttachment::withData(dataFromString("hello"), "log.txt", "text/plain");
    auto item = DuviduEnvelopeItem::initWithAttachment(bytes, 5);
    ASSERT_TRUE(item);
    EXPECT_EQ(text(item->data()), "hello");
    EXPECT_EQ(roundTrip(item->header()->serialize()),
              parseJSON(R"({"type":"attachment","length":5,"filename":"log.txt","content_type":"text/plain",
                            "attachment_type":"event.attachment"})"));
    EXPECT_FALSE(DuviduEnvelopeItem::initWithAttachment(bytes, 4));

    auto path = std::filesystem::temp_directory_path() / "view-hierarchy.json";
    std::ofstream(path) << "{\"a\":\n1}";
    auto file = DuviduAttachment::withPath(path.string(), "view-hierarchy.json", "application/json",
                                           DuviduAttachmentType::ViewHierarchy);
    auto fileItem = DuviduEnvelopeItem::initWithAttachment(file, 1024);
    ASSERT_TRUE(fileItem);
    EXPECT_EQ(text(fileItem->data()), "{\"a\":\n1}");
    auto header = std::dynamic_pointer_cast<const DuviduEnvelopeAttachmentHeader>(fileItem->header());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->attachmentType(), DuviduAttachmentType::ViewHierarchy);
    EXPECT_FALSE(DuviduEnvelopeItem::initWithAttachment(file, 3));
    std::filesystem::remove(path);
    EXPECT_FALSE(DuviduEnvelopeItem::initWithAttachment(file, 1024));
}

}  // namespace
