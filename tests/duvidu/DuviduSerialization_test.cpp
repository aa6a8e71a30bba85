#include <cmath>
#include "Duvidu/DuviduSerialization.h"

#include "Duvidu/DuviduEnvelopeAttachmentHeader.h"
#include "DuviduTestSupport.h"

using namespace duvidu;

namespace {

class DuviduSerializationTest : public duvidutest::DuviduTest {
protected:
    // The log lines without their "[Duvidu] [error] " and source prefixes, each marked S (with source) or B (bare).
    std::vector<std::string> messages()
    {
        std::vector<std::string> result;
        for (const auto& line : logOutput->lines()) {
            std::string rest = line.substr(line.find("] ", line.find("] ") + 2) + 2);
            if (rest.rfind("[DuviduSerialization:", 0) == 0) result.push_back("S " + rest.substr(rest.find("] ") + 2));
            else result.push_back("B " + rest);
        }
        return result;
    }
};

std::string text(const DuviduData& data)
{
    return std::string(data.begin(), data.end());
}

std::shared_ptr<DuviduEnvelope> read(const std::string& bytes)
{
    return DuviduSerialization::envelopeWithData(dataFromString(bytes));
}

const std::string H = R"({"event_id":"9ec79c33ec9942ab8353589fcb2e04dc"})";

TEST_F(DuviduSerializationTest, WritesHeaderItemsAndPayloadsWithoutClosingNewline)
{
    auto id = DuviduId::fromUUIDString("9ec79c33ec9942ab8353589fcb2e04dc");
    DuviduEnvelopeHeader header(id, nullptr);
    header.setSentAt(DuviduDate(std::chrono::seconds(1714564800) + std::chrono::milliseconds(250)));
    auto eventHeader = std::make_shared<DuviduEnvelopeItemHeader>("event", 3);
    auto attachmentHeader = std::make_shared<DuviduEnvelopeAttachmentHeader>("attachment", 11, "log.txt",
                                                                            "text/plain",
                                                                            DuviduAttachmentType::EventAttachment);
    DuviduEnvelope envelope(header, {DuviduEnvelopeItem(eventHeader, dataFromString("abc")),
                                     DuviduEnvelopeItem(attachmentHeader, dataFromString("line1\nline2"))});
    auto bytes = DuviduSerialization::dataWithEnvelope(envelope);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(text(*bytes),
              R"({"event_id":"9ec79c33ec9942ab8353589fcb2e04dc","sdk":{"name":"duvidu.cocoa","packages":{"name":"spm:veveriroz/duvidu.cocoa","version":"8.8.0"},"version":"8.8.0"},"sent_at":"2024-05-01T12:00:00.250Z"})"
              "\n"
              R"({"length":3,"type":"event"})"
              "\nabc\n"
              R"({"attachment_type":"event.attachment","content_type":"text/plain","filename":"log.txt","length":11,"type":"attachment"})"
              "\nline1\nline2");

    auto back = DuviduSerialization::envelopeWithData(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->header().eventId(), id);
    EXPECT_EQ(back->header().sdkInfo()->name(), "duvidu.cocoa");
    EXPECT_EQ(back->header().sentAt(), header.sentAt());
    ASSERT_EQ(back->items().size(), 2u);
    EXPECT_EQ(text(back->items()[0].data()), "abc");
    EXPECT_EQ(text(back->items()[1].data()), "line1\nline2");
    auto attachment = std::dynamic_pointer_cast<const DuviduEnvelopeAttachmentHeader>(back->items()[1].header());
    ASSERT_TRUE(attachment);
    EXPECT_EQ(attachment->filename(), "log.txt");
    EXPECT_EQ(attachment->contentType(), "text/plain");
    EXPECT_TRUE(messages().empty());
}

TEST_F(DuviduSerializationTest, EmptyHeaderIsTwoBytesAndTraceRoundTrips)
{
    DuviduEnvelopeHeader header(std::nullopt, std::nullopt, nullptr);
    DuviduEnvelope envelope(header, DuviduEnvelopeItem(std::make_shared<DuviduEnvelopeItemHeader>("", 0), {}));
    EXPECT_EQ(text(*DuviduSerialization::dataWithEnvelope(envelope)), "{}\n{\"length\":0,\"type\":\"\"}\n");

    auto trace = std::make_shared<DuviduTraceContext>(DuviduId(), "public");
    trace->releaseName = "app@1";
    trace->sampleRate = "1";
    DuviduEnvelope traced(DuviduEnvelopeHeader(std::nullopt, trace),
                          DuviduEnvelopeItem(std::make_shared<DuviduEnvelopeItemHeader>("event", 1),
                                             dataFromString("x")));
    auto back = DuviduSerialization::envelopeWithData(*DuviduSerialization::dataWithEnvelope(traced));
    ASSERT_TRUE(back && back->header().traceContext());
    EXPECT_EQ(back->header().traceContext()->serialize(), trace->serialize());
    EXPECT_FALSE(back->header().eventId());
}

TEST_F(DuviduSerializationTest, ItemWithAnEmptyTypeSurvivesWritingBack)
{
    auto read = DuviduSerialization::envelopeWithData(dataFromString("{}\n{\"type\":\"\",\"length\":1}\nx"));
    ASSERT_TRUE(read);
    auto again = DuviduSerialization::envelopeWithData(*DuviduSerialization::dataWithEnvelope(*read));
    ASSERT_TRUE(again);
    ASSERT_EQ(again->items().size(), 1u);
    EXPECT_EQ(again->items()[0].header()->type(), "");
    EXPECT_EQ(text(again->items()[0].data()), "x");
}

TEST_F(DuviduSerializationTest, ReaderParseTable)
{
    struct Row {
        std::string input;
        std::vector<std::string> payloads;  // empty: no envelope
        std::vector<std::string> log;
    };
    const std::string item3 = R"({"type":"event","length":3})";
    const std::vector<Row> rows = {
        {H + "\n" + item3 + "\nabc", {"abc"}, {}},
        {H + "\n" + R"({"type":"a","length":5})" + "\na\nb\nc", {"a\nb\nc"}, {}},
        {H, {}, {"S Invalid envelope. No header found."}},
        {"", {}, {"S Invalid envelope. No header found."}},
        {H + "\n", {}, {"S Envelope has no items."}},
        {H + "\n" + R"({"type":"a","length":0})", {""}, {}},
        {H + "\n" + R"({"type":"a","length":0})" + "\n", {""}, {}},
        {H + "\n" + R"({"type":"a","length":0})" + "\n\n" + R"({"type":"b","length":1})" + "\nx", {"", "x"}, {}},
        {H + "\n" + R"({"type":"a"})" + "\n\n" + item3 + "\nabc", {"", "abc"}, {}},
        {H + "\n" + item3 + "\nabc\n" + R"({"type":"b","length":12})",
         {"abc"},
         {"B Envelope item has no data but header indicates it's length is 12."}},
        {H + "\n" + item3 + "\nabc\n" + R"({"type":"b","length":12})" + "\n",
         {"abc"},
         {"B Envelope item has no data but header indicates it's length is 12."}},
        {H + "\n" + item3 + "\nabc\n" + R"({"length":1})" + "\nx", {"abc"}, {"B Envelope item type is required."}},
        {H + "\n" + R"({"length":1})" + "\nx",
         {},
         {"B Envelope item type is required.", "S Envelope has no items."}},
        {H + "\n" + item3 + "\nabc\n" + "{broken", {}, {"B Failed to parse envelope item header"}},
        {H + "\n" + item3 + "\nabc\n", {"abc"}, {}},
        {H + "\n" + item3 + "\nabc\n\n", {}, {"B Failed to parse envelope item header"}},
        {H + "\n\n" + item3 + "\nabc", {}, {"B Failed to parse envelope item header"}},
        // Open cases: a payload cut short, a non-object header, lengths and types of the wrong kind.
        {H + "\n" + item3 + "\nabc\n" + R"({"type":"b","length":5})" + "\nxy",
         {"abc"},
         {"B Envelope item has no data but header indicates it's length is 5."}},
        {"[1]\n" + item3 + "\nabc", {}, {"S Failed to parse envelope header", "S Invalid envelope. No header found."}},
        {H + "\n" + R"({"type":"a","length":-1})" + "\nx", {}, {"B Failed to parse envelope item header"}},
        {H + "\n" + R"({"type":"a","length":"3"})" + "\nabc", {}, {"B Failed to parse envelope item header"}},
        {H + "\n" + R"({"type":7,"length":1})" + "\nx", {}, {"B Envelope item type is required.", "S Envelope has no items."}},
        {H + "\n" + R"({"type":"a","length":1e30})" + "\nx", {}, {"B Failed to parse envelope item header"}},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        logOutput = std::make_shared<duvidutest::TestLogOutput>();
        DuviduLog::setLogOutput(logOutput);
        auto envelope = read(row.input);
        if (row.payloads.empty()) {
            EXPECT_FALSE(envelope) << "row " << i;
        } else {
            ASSERT_TRUE(envelope) << "row " << i;
            ASSERT_EQ(envelope->items().size(), row.payloads.size()) << "row " << i;
            for (size_t k = 0; k < row.payloads.size(); ++k)
                EXPECT_EQ(text(envelope->items()[k].data()), row.payloads[k]) << "row " << i;
        }
        auto logged = messages();
        ASSERT_EQ(logged.size(), row.log.size()) << "row " << i;
        for (size_t k = 0; k < logged.size(); ++k)
            EXPECT_EQ(logged[k].rfind(row.log[k], 0), 0u) << "row " << i << ": " << logged[k];
    }
}

TEST_F(DuviduSerializationTest, ReaderHeaderFields)
{
    auto envelope = read(R"({"event_id":"not-an-id","sdk":5,"sent_at":"2024-05-01T12:00:00Z","trace":[1]})"
                         "\n" R"({"type":"a","length":0})");
    ASSERT_TRUE(envelope);
    EXPECT_EQ(envelope->header().eventId(), DuviduId::empty());
    ASSERT_TRUE(envelope->header().sdkInfo());
    EXPECT_EQ(envelope->header().sdkInfo()->name(), "");
    EXPECT_FALSE(envelope->header().traceContext());
    EXPECT_EQ(envelope->header().sentAt(), DuviduDate(std::chrono::seconds(1714564800)));

    auto bare = read("{}\n" R"({"type":"a","length":0})");
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->header().eventId());
    EXPECT_FALSE(bare->header().sdkInfo());
}

TEST_F(DuviduSerializationTest, JSONWriterRefusesWhatJSONCannotHold)
{
    EXPECT_EQ(text(*DuviduSerialization::dataWithJSONObject(Value::Object{{"a", Value::Array{1, "x", nullptr}}})),
              R"({"a":[1,"x",null]})");
    EXPECT_FALSE(DuviduSerialization::dataWithJSONObject(Value("text")));
    EXPECT_FALSE(DuviduSerialization::dataWithJSONObject(Value::Object{{"d", DuviduDate{}}}));
    EXPECT_EQ(messages(), std::vector<std::string>(2, "S Dictionary is not a valid JSON object."));
    // JSON has no NaN or infinity: such a number becomes null and the rest stays.
    const Value nonFinite = Value::Object{{"n", std::nan("")}, {"i", Value::Array{-HUGE_VAL, 2.5}}};
    EXPECT_EQ(text(*DuviduSerialization::dataWithJSONObject(nonFinite)), R"({"i":[null,2.5],"n":null})");
    // A stray byte does not lose the object.
    EXPECT_EQ(text(*DuviduSerialization::dataWithJSONObject(Value::Object{{"s", "a\xff"}})), "{\"s\":\"a\xEF\xBF\xBD\"}");
}

TEST_F(DuviduSerializationTest, BaggageBothWays)
{
    EXPECT_EQ(DuviduSerialization::baggageEncodedDictionary({{"k", "v\xC3\xA4lue"}, {"a b", "c,d"}, {"t", "~"}}),
              "a%20b=c%2Cd,k=v%C3%A4lue,t=%7E");
    EXPECT_EQ(DuviduSerialization::baggageEncodedDictionary({{"n", 3}}), "n=3");

    std::string big(8200, 'x');
    EXPECT_EQ(DuviduSerialization::baggageEncodedDictionary({{"a", big}, {"b", "1"}}), "b=1");
    // Entries that would pass the limit are left out; shorter later ones still fit.
    std::string half(4090, 'y');
    auto limited = DuviduSerialization::baggageEncodedDictionary({{"a", half}, {"b", half}, {"c", half}, {"d", "1"}});
    EXPECT_EQ(limited, "a=" + half + ",b=" + half + ",d=1");
    EXPECT_LE(limited.size(), 8192u);

    auto decoded = DuviduSerialization::decodeBaggage("k=v%C3%A4lue,bad=%zz,x=1=2, y=3,empty=,k2=%FF");
    EXPECT_EQ(decoded, (std::map<std::string, std::string>{{"k", "v\xC3\xA4lue"}, {" y", "3"}, {"empty", ""}}));
    EXPECT_EQ(DuviduSerialization::decodeBaggage("a=1,a=%zz"), (std::map<std::string, std::string>{}));
    EXPECT_TRUE(DuviduSerialization::decodeBaggage(std::nullopt).empty());
    EXPECT_TRUE(DuviduSerialization::decodeBaggage("").empty());
}

TEST_F(DuviduSerializationTest, SessionsRoundTripAndNeedARelease)
{
    DuviduSession session("app@1.0", "installation");
    session.setEnvironment("staging");
    session.incrementErrors();
    clock->now += std::chrono::seconds(90);
    session.endSessionExitedWithTimestamp(clock->now);
    auto back = DuviduSerialization::sessionWithData(*DuviduSerialization::dataWithSession(session));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->serialize(), session.serialize());
    EXPECT_EQ(back->sequence(), 3u);
    EXPECT_EQ(back->errors(), 1u);
    EXPECT_EQ(back->duration(), 90.0);
    EXPECT_EQ(back->status(), DuviduSessionStatus::Exited);
    EXPECT_FALSE(back->flagInit());

    DuviduSession unnamed(std::string(), "installation");
    EXPECT_FALSE(DuviduSerialization::sessionWithData(*DuviduSerialization::dataWithSession(unnamed)));
    EXPECT_FALSE(DuviduSerialization::sessionWithData(dataFromString("{}")));
    EXPECT_FALSE(DuviduSerialization::sessionWithData(dataFromString("nope")));
    auto logged = messages();
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[0], "B Deserialized session doesn't contain a release name. Dropping it.");
    EXPECT_EQ(logged[1], "S Failed to initialize session from dictionary. Dropping it.");
    EXPECT_EQ(logged[2].rfind("B Failed to deserialize session data ", 0), 0u);

    auto copy = session.copy();
    copy->incrementErrors();
    EXPECT_EQ(session.errors(), 1u);
}

TEST_F(DuviduSerializationTest, AppStateAndLevel)
{
    DuviduAppState state("app@1", "Linux 6.1", false, DuviduDate(std::chrono::seconds(1700000000)));
    state.isActive = true;
    auto back = DuviduSerialization::appStateWithData(*DuviduSerialization::dataWithJSONObject(state.serialize()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->serialize(), state.serialize());
    EXPECT_FALSE(DuviduSerialization::appStateWithData(dataFromString(R"({"os_version":"x"})")));
    EXPECT_FALSE(DuviduSerialization::appStateWithData(dataFromString("[")));

    EXPECT_EQ(DuviduSerialization::levelFromData(dataFromString(R"({"level":"warning"})")), DuviduLevel::Warning);
    EXPECT_EQ(DuviduSerialization::levelFromData(dataFromString(R"({"message":"m"})")), DuviduLevel::Error);
    EXPECT_EQ(DuviduSerialization::levelFromData(dataFromString("not json")), DuviduLevel::Error);
    auto logged = messages();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].rfind("B Failed to deserialize app state data ", 0), 0u);
    EXPECT_EQ(logged[1].rfind("B Failed to retrieve event level from envelope item data: ", 0), 0u);
}

TEST_F(DuviduSerializationTest, SessionItemCarriesTheSessionJSON)
{
    DuviduSession session("app@1.0", "installation");
    DuviduEnvelopeItem item(session);
    EXPECT_EQ(item.header()->type(), "session");
    EXPECT_EQ(item.header()->length(), item.data().size());
    EXPECT_TRUE(DuviduSerialization::sessionWithData(item.data()));
}

}  // namespace
