// What the application puts into events reaches a loopback stand-in for the reporting service whole: numbers JSON has
// no place for, attachments that together exceed what one envelope may hold, and envelopes handed to duvidu-cli.
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "Duvidu/DuviduBreadcrumb.h"
#include "Duvidu/DuviduEnvelopeAttachmentHeader.h"
#include "Duvidu/DuviduSDK.h"
#include "Duvidu/DuviduSerialization.h"
#include "DuviduJSONTestSupport.h"
#include "DuviduLoopbackTest.h"
#include "DuviduRecordingTransport.h"
#include "DuviduTestSupport.h"
#include "IngestServer.h"
#include "support/ChildProcess.h"
#include "support/TempHome.h"

using namespace duvidu;
using duvidutest::IngestServer;
using duvidutest::at;
using duvidutest::RecordingTransport;
namespace fs = std::filesystem;

namespace {

std::string text(const Value* value)
{
    return value && value->isString() ? *value->asString() : "<" + (value ? value->description() : "none") + ">";
}

class DuviduEventDeliveryTest : public duvidutest::DuviduLoopbackTest {
protected:
    // The envelopes the server received, in order.
    std::vector<std::shared_ptr<DuviduEnvelope>> received()
    {
        std::vector<std::shared_ptr<DuviduEnvelope>> envelopes;
        for (const auto& request : server.requests()) {
            if (auto envelope = DuviduSerialization::envelopeWithData(IngestServer::inflate(request.body)))
                envelopes.push_back(envelope);
        }
        return envelopes;
    }

    // The lost-event counts that arrived, as "category/reason" = quantity.
    std::map<std::string, uint64_t> countsReceived()
    {
        std::map<std::string, uint64_t> counts;
        for (const auto& envelope : received()) {
            auto report = RecordingTransport::itemJSON(*envelope, "client_report");
            if (!report) continue;
            const Value json(*report);
            for (const auto& entry : *at(&json, "discarded_events")->asArray()) {
                uint64_t quantity = 0;
                at(&entry, "quantity")->numberAsUInt64(quantity);
                counts[text(at(&entry, "category")) + "/" + text(at(&entry, "reason"))] += quantity;
            }
        }
        return counts;
    }
};

TEST_F(DuviduEventDeliveryTest, NonFiniteNumbersArriveAsNullAndNoEventLosesItsScope)
{
    start();
    DuviduSDK::configureScope([](DuviduScope& scope) {
        scope.setExtraValue(NAN, "n");
        scope.setContextValue(Value::Object{{"ratio", HUGE_VAL}}, "measure");
        DuviduUser user("u1");
        user.data = Value::Object{{"score", -HUGE_VAL}};
        scope.setUser(user);
    });
    DuviduBreadcrumb breadcrumb;
    breadcrumb.message = "level read";
    breadcrumb.data = Value::Object{{"level", Value::Array{NAN, 0.5}}};
    DuviduSDK::addBreadcrumb(breadcrumb);
    const auto first = DuviduSDK::captureMessage("first");
    auto tagged = std::make_shared<DuviduEvent>(DuviduLevel::Info);
    tagged->tags = Value::Object{{"gain", NAN}};
    const auto second = DuviduSDK::captureEvent(tagged);
    DuviduSDK::flush(10);

    std::vector<Value> events;
    for (const auto& envelope : received()) {
        if (auto event = RecordingTransport::itemJSON(*envelope, "event")) events.emplace_back(*event);
    }
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(text(at(&events[0], "event_id")), first.duviduIdString());
    EXPECT_EQ(text(at(&events[1], "event_id")), second.duviduIdString());
    EXPECT_EQ(text(at(at(&events[0], "message"), "formatted")), "first");
    EXPECT_TRUE(at(at(&events[1], "tags"), "gain")->isNull());
    for (const auto& event : events) {
        EXPECT_TRUE(at(at(&event, "extra"), "n")->isNull());
        EXPECT_TRUE(at(at(at(&event, "contexts"), "measure"), "ratio")->isNull());
        EXPECT_EQ(text(at(at(&event, "user"), "id")), "u1");
        EXPECT_TRUE(at(at(at(&event, "user"), "data"), "score")->isNull());
        const Value* breadcrumbs = at(&event, "breadcrumbs");
        ASSERT_TRUE(breadcrumbs && breadcrumbs->isArray() && !breadcrumbs->asArray()->empty());
        const Value& crumb = breadcrumbs->asArray()->back();
        EXPECT_EQ(text(at(&crumb, "message")), "level read");
        EXPECT_EQ(*at(at(&crumb, "data"), "level"), Value(Value::Array{nullptr, 0.5}));
        EXPECT_NE(text(at(&event, "level")), "warning");  // not the stand-in for an event JSON could not hold
    }
    EXPECT_TRUE(countsReceived().empty());
}

TEST_F(DuviduEventDeliveryTest, AttachmentsBeyondTheEnvelopeLimitAreLeftOutLargestFirstAndCounted)
{
    start();
    constexpr size_t kMiB = 1024 * 1024;
    const std::string binary = "application/octet-stream";
    DuviduSDK::configureScope([&](DuviduScope& scope) {
        scope.addAttachment(DuviduAttachment::withData(DuviduData(17 * kMiB, 'a'), "first.bin", binary));
        scope.addAttachment(DuviduAttachment::withData(DuviduData(18 * kMiB, 'b'), "second.bin", binary));
        scope.addAttachment(DuviduAttachment::withData(dataFromString("small"), "note.txt", "text/plain"));
    });
    const auto id = DuviduSDK::captureMessage("with attachments");
    ASSERT_FALSE(id.isEmpty());
    DuviduSDK::flush(30);

    std::vector<std::string> attachments;
    bool arrived = false;
    for (const auto& envelope : received()) {
        auto event = RecordingTransport::itemJSON(*envelope, "event");
        const Value json = event ? Value(*event) : Value();
        if (text(at(&json, "event_id")) != id.duviduIdString()) continue;
        arrived = true;
        for (const auto& item : envelope->items()) {
            if (item.header()->type() != "attachment") continue;
            attachments.push_back(item.header()->filename().value_or("") + ":" + std::to_string(item.data().size()));
        }
    }
    EXPECT_TRUE(arrived);
    EXPECT_EQ(attachments, (std::vector<std::string>{"first.bin:" + std::to_string(17 * kMiB), "note.txt:5"}));
    EXPECT_EQ(countsReceived(), (std::map<std::string, uint64_t>{{"attachment/cache_overflow", 1}}));
}

TEST_F(DuviduEventDeliveryTest, TheCliSendsAnEnvelopeFileAsLargeAsTheCacheTakes)
{
    // An envelope of 2 MiB, above the limit of the small files the SDK reads (1 MiB).
    const DuviduId id;
    DuviduData payload(2 * 1024 * 1024, 'x');
    auto header = std::make_shared<DuviduEnvelopeAttachmentHeader>("attachment", payload.size(), "big.log",
                                                                   "text/plain", DuviduAttachmentType::EventAttachment);
    auto bytes = DuviduSerialization::dataWithEnvelope(
        DuviduEnvelope(DuviduEnvelopeHeader(id, nullptr), DuviduEnvelopeItem(header, payload)));
    ASSERT_TRUE(bytes);
    const fs::path file = home.path() / "big.envelope";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes->data()), bytes->size());

    auto run = vctest::runChild(VC_DUVIDU_CLI, {"--dsn", server.dsn(), "envelope", file.string()});
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.output;
    auto envelopes = received();
    ASSERT_EQ(envelopes.size(), 1u);
    EXPECT_EQ(envelopes[0]->header().eventId(), id);
    ASSERT_EQ(envelopes[0]->items().size(), 1u);
    EXPECT_EQ(envelopes[0]->items()[0].data().size(), payload.size());
}

}  // namespace
