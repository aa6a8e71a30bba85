// Feeds the envelope reader 10,000 random mutations of valid envelopes; under AddressSanitizer any read outside
// the input fails the run.
#include <random>

#include "Duvidu/DuviduEnvelopeAttachmentHeader.h"
#include "Duvidu/DuviduSerialization.h"
#include "DuviduTestSupport.h"

using namespace duvidu;

namespace {

class DuviduEnvelopeMutationTest : public duvidutest::DuviduTest {};

TEST_F(DuviduEnvelopeMutationTest, RandomMutationsNeverReadOutsideTheInput)
{
    DuviduLog::configure(false, DuviduLevel::None);
    std::vector<DuviduData> seeds;
    {
        auto trace = std::make_shared<DuviduTraceContext>(DuviduId(), "public");
        DuviduEnvelopeHeader header(DuviduId(), trace);
        header.setSentAt(DuviduDate(std::chrono::seconds(1714564800)));
        std::vector<DuviduEnvelopeItem> items{
            DuviduEnvelopeItem(std::make_shared<DuviduEnvelopeItemHeader>("event", 18),
                               dataFromString(R"({"level":"error"})" "\n")),
            DuviduEnvelopeItem(std::make_shared<DuviduEnvelopeAttachmentHeader>(
                                   "attachment", 5, "a.txt", "text/plain", DuviduAttachmentType::ViewHierarchy),
                               dataFromString("a\nb\nc")),
            DuviduEnvelopeItem(std::make_shared<DuviduEnvelopeItemHeader>("session", 0), {}),
        };
        seeds.push_back(*DuviduSerialization::dataWithEnvelope(DuviduEnvelope(header, items)));
        seeds.push_back(dataFromString("{}\n{\"type\":\"a\",\"length\":3}\nabc\n"));
    }
    const std::string tokens[] = {"\n", "{", "}", "\"length\":", "\"type\":", "99999999", "-1", ":", ",", "\"", "[",
                                  "0", "\"filename\":\"f\"", "\\u0000", "1e400", "\xff"};

    std::mt19937 random(20240501);
    size_t parsed = 0;
    for (int round = 0; round < 10000; ++round) {
        DuviduData data = seeds[round % seeds.size()];
        int mutations = 1 + static_cast<int>(random() % 4);
        for (int m = 0; m < mutations; ++m) {
            size_t at = data.empty() ? 0 : random() % (data.size() + 1);
            switch (random() % 5) {
            case 0:  // flip a byte
                if (!data.empty()) data[at % data.size()] = static_cast<uint8_t>(random());
                break;
            case 1:  // cut the tail
                data.resize(at);
                break;
            case 2:  // drop a byte
                if (at < data.size()) data.erase(data.begin() + static_cast<long>(at));
                break;
            case 3: {  // insert a token
                const auto& token = tokens[random() % std::size(tokens)];
                data.insert(data.begin() + static_cast<long>(at), token.begin(), token.end());
                break;
            }
            default:  // duplicate a slice
                if (!data.empty()) {
                    size_t from = random() % data.size();
                    size_t length = std::min<size_t>(random() % 32, data.size() - from);
                    DuviduData slice(data.begin() + static_cast<long>(from),
                                     data.begin() + static_cast<long>(from + length));
                    data.insert(data.begin() + static_cast<long>(at), slice.begin(), slice.end());
                }
            }
        }
        // An exact-size heap copy, so that one byte too far is caught by the sanitizer.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[data.size() ? data.size() : 1]);
        std::copy(data.begin(), data.end(), exact.get());
        auto envelope = DuviduSerialization::envelopeWithData(exact.get(), data.size());
        if (!envelope) continue;
        ++parsed;
        size_t total = 0;
        for (const auto& item : envelope->items()) {
            EXPECT_EQ(item.data().size(), item.header()->length());
            total += item.data().size();
        }
        EXPECT_LE(total, data.size());
    }
    // The mutations must leave enough envelopes readable for the item paths to be exercised.
    EXPECT_GT(parsed, 500u);
}

}  // namespace
