// The envelopes the adapter builds: the item orders of its send forms and the attachment size limit.
#include "Duvidu/DuviduTransportAdapter.h"

#include "Duvidu/DuviduEnvelopeAttachmentHeader.h"
#include "DuviduTestSupport.h"

using namespace duvidu;

namespace {

class RecordingTransport : public DuviduTransport {
public:
    void sendEnvelope(const DuviduEnvelope& envelope) override { envelopes.push_back(envelope); }
    void recordLostEvent(DuviduDataCategory category, DuviduDiscardReason reason) override
    {
        lost.emplace_back(category, reason);
    }
    bool flush(double timeoutSeconds) override
    {
        flushes.push_back(timeoutSeconds);
        return true;
    }

    std::vector<DuviduEnvelope> envelopes;
    std::vector<std::pair<DuviduDataCategory, DuviduDiscardReason>> lost;
    std::vector<double> flushes;
};

std::vector<std::string> itemTypes(const DuviduEnvelope& envelope)
{
    std::vector<std::string> types;
    for (const auto& item : envelope.items()) {
        auto attachment = std::dynamic_pointer_cast<const DuviduEnvelopeAttachmentHeader>(item.header());
        types.push_back(attachment ? "attachment:" + *attachment->filename() : item.header()->type());
    }
    return types;
}

class DuviduTransportAdapterTest : public duvidutest::DuviduTest {
protected:
    void SetUp() override
    {
        DuviduTest::SetUp();
        options->maxAttachmentSize = 10;
    }

    std::shared_ptr<DuviduOptions> options = std::make_shared<DuviduOptions>();
    std::shared_ptr<RecordingTransport> transport = std::make_shared<RecordingTransport>();
    DuviduTransportAdapter adapter{transport, options};
    DuviduEvent event{DuviduLevel::Error};
    // The middle one is over the limit of 10 bytes and is left out; exactly the limit fits.
    std::vector<DuviduAttachment> attachments{
        DuviduAttachment::withData(dataFromString("small"), "a.txt"),
        DuviduAttachment::withData(dataFromString("eleven byte"), "big.txt"),
        DuviduAttachment::withData(dataFromString("ten bytes!"), "b.txt"),
    };
};

TEST_F(DuviduTransportAdapterTest, EventThenFittingAttachmentsThenExtraItemsUnderTheEventIdAndTrace)
{
    auto trace = std::make_shared<DuviduTraceContext>(DuviduId(), "key");
    DuviduEnvelopeItem extra(std::make_shared<DuviduEnvelopeItemHeader>("profile", 2), dataFromString("{}"));
    adapter.sendEvent(event, trace, attachments, {extra});

    ASSERT_EQ(transport->envelopes.size(), 1u);
    const auto& envelope = transport->envelopes[0];
    EXPECT_EQ(envelope.header().eventId(), event.eventId);
    EXPECT_EQ(envelope.header().traceContext(), trace);
    EXPECT_EQ(itemTypes(envelope), (std::vector<std::string>{"event", "attachment:a.txt", "attachment:b.txt", "profile"}));
}

TEST_F(DuviduTransportAdapterTest, SessionComesLastWithNoTraceContext)
{
    DuviduSession session("app@1.0+1", "installation");
    adapter.sendEvent(event, session, attachments);

    ASSERT_EQ(transport->envelopes.size(), 1u);
    const auto& envelope = transport->envelopes[0];
    EXPECT_EQ(envelope.header().eventId(), event.eventId);
    EXPECT_EQ(envelope.header().traceContext(), nullptr);
    EXPECT_EQ(itemTypes(envelope), (std::vector<std::string>{"event", "attachment:a.txt", "attachment:b.txt", "session"}));
}

TEST_F(DuviduTransportAdapterTest, UserFeedbackAndTheRestReachTheTransport)
{
    DuviduUserFeedback feedback(DuviduId::fromUUIDString("9ec79c33ec9942ab8353589fcb2e04dc"));
    adapter.sendUserFeedback(feedback);
    adapter.recordLostEvent(DuviduDataCategory::Error, DuviduDiscardReason::SampleRate);
    adapter.flush(2.5);

    ASSERT_EQ(transport->envelopes.size(), 1u);
    EXPECT_EQ(transport->envelopes[0].header().eventId(), feedback.eventId());
    EXPECT_EQ(itemTypes(transport->envelopes[0]), std::vector<std::string>{"user_report"});
    EXPECT_EQ(transport->lost, (std::vector{std::pair{DuviduDataCategory::Error, DuviduDiscardReason::SampleRate}}));
    EXPECT_EQ(transport->flushes, std::vector{2.5});
}

}  // namespace
