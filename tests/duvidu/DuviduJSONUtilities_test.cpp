#include <zlib.h>

#include <random>

#include "Duvidu/DuviduCompression.h"
#include "Duvidu/DuviduDateExtras.h"
#include "Duvidu/DuviduLocale.h"
#include "Duvidu/DuviduMutableDictionary.h"
#include "Duvidu/DuviduSanitize.h"
#include "DuviduTestSupport.h"

using namespace duvidu;
using namespace std::chrono_literals;

namespace {

DuviduData inflate(const DuviduData& gz)
{
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, 31), Z_OK);
    stream.next_in = const_cast<Bytef*>(gz.data());
    stream.avail_in = static_cast<uInt>(gz.size());
    DuviduData out;
    uint8_t buffer[4096];
    int status;
    do {
        stream.next_out = buffer;
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), buffer, buffer + (sizeof buffer - stream.avail_out));
    } while (status == Z_OK);
    EXPECT_EQ(status, Z_STREAM_END);
    inflateEnd(&stream);
    return out;
}

TEST(DuviduSanitizeTest, DictionaryValuesBecomeJSONReady)
{
    DuviduDate date(1500ms);
    Value::Object input{
        {"date", date},
        {"__duvidu_internal", "secret"},
        {"42", "number key"},
        {"null", nullptr},
        {"flag", true},
        {"opaque", Value::Opaque{"<Thing 0x1>", {}}},
        {"nested", Value::Array{Value::Object{{"inner", Value::Array{date, "__duvidu kept"}}, {"__duvidu", 1}}}},
    };
    Value::Object expected{
        {"date", "1970-01-01T00:00:01.500Z"},
        {"42", "number key"},
        {"null", "<null>"},
        {"flag", true},
        {"opaque", "<Thing 0x1>"},
        {"nested", Value::Array{Value::Object{{"inner", Value::Array{"1970-01-01T00:00:01.500Z", "__duvidu kept"}}}}},
    };
    EXPECT_EQ(duvidu_sanitize(input), expected);
}

TEST(DuviduDateExtrasTest, MillisecondFormatRoundTripsAndSecondsFormatParses)
{
    EXPECT_EQ(duvidu_toIso8601String(DuviduDate(1500ms)), "1970-01-01T00:00:01.500Z");
    // Milliseconds are cut, not rounded.
    EXPECT_EQ(duvidu_toIso8601String(DuviduDate(1999999us)), "1970-01-01T00:00:01.999Z");
    EXPECT_EQ(duvidu_toIso8601String(DuviduDate(-1ms)), "1969-12-31T23:59:59.999Z");

    DuviduDate date(std::chrono::seconds(1714564800) + 250ms);
    EXPECT_EQ(duvidu_fromIso8601String(duvidu_toIso8601String(date)), date);
    EXPECT_EQ(duvidu_fromIso8601String("2024-05-01T12:00:00Z"), DuviduDate(std::chrono::seconds(1714564800)));
    EXPECT_EQ(duvidu_fromIso8601String("2024-02-29T00:00:00.000Z").has_value(), true);

    for (const char* bad : {"2024-05-01T12:00:00+01:00", "2024-05-01T12:00:00.25Z", "2024-05-01 12:00:00Z",
                            "2023-02-29T00:00:00Z", "2024-13-01T00:00:00Z", "2024-05-01T24:00:00Z", "", "x"}) {
        EXPECT_FALSE(duvidu_fromIso8601String(bad)) << bad;
    }
    // Years a date cannot hold give no date rather than some other date.
    for (const char* distant : {"1500-01-01T00:00:00Z", "2300-01-01T00:00:00.000Z", "9999-12-31T23:59:59.999Z"}) {
        EXPECT_FALSE(duvidu_fromIso8601String(distant)) << distant;
    }
    for (const char* edge : {"1678-01-01T00:00:00.000Z", "2262-01-01T00:00:00.000Z"}) {
        auto date = duvidu_fromIso8601String(edge);
        ASSERT_TRUE(date) << edge;
        EXPECT_EQ(duvidu_toIso8601String(*date), edge);
    }
}

TEST(DuviduCompressionTest, GzipInflatesBackAndEmptyStaysEmpty)
{
    auto empty = duvidu_gzippedWithCompressionLevel({}, -1);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    std::mt19937 random(7);
    for (size_t size : {1u, 100u, 65536u, 300000u}) {
        DuviduData input(size);
        for (auto& byte : input) byte = static_cast<uint8_t>(random());  // incompressible: the worst case
        auto gz = duvidu_gzippedWithCompressionLevel(input, -1);
        ASSERT_TRUE(gz) << size;
        ASSERT_GE(gz->size(), 2u);
        EXPECT_EQ((*gz)[0], 0x1F);
        EXPECT_EQ((*gz)[1], 0x8B);
        EXPECT_EQ(inflate(*gz), input) << size;
    }
}

TEST(DuviduCompressionTest, InvalidLevelReportsCode103)
{
    NSError error("", 0);
    EXPECT_FALSE(duvidu_gzippedWithCompressionLevel(dataFromString("abc"), 42, &error));
    EXPECT_EQ(error.domain(), "DuviduErrorDomain");
    EXPECT_EQ(error.code(), 103);
    EXPECT_EQ(error.localizedDescription(), "deflateInit2 error");
}

TEST(DuviduCompressionTest, NullTerminatedAppendsOneZero)
{
    EXPECT_EQ(duvidu_nullTerminated(dataFromString("{}")), (DuviduData{'{', '}', 0}));
    EXPECT_EQ(duvidu_nullTerminated({}), (DuviduData{0}));
}

TEST(DuviduMutableDictionaryTest, DeepMergeAndOptionalBooleans)
{
    Value::Object receiver{{"a", Value::Object{{"x", 1}}}, {"b", Value::Object{{"y", 2}}}, {"c", 3}};
    mergeEntriesFromDictionary(receiver, {{"a", Value::Object{{"z", 4}}}, {"b", 5}, {"c", Value::Object{}}});
    EXPECT_EQ(receiver, (Value::Object{{"a", Value::Object{{"x", 1}, {"z", 4}}}, {"b", 5}, {"c", Value::Object{}}}));

    Value::Object flags{{"kept", true}};
    setBoolValue(flags, Value(2), "two");
    setBoolValue(flags, Value(0), "zero");
    setBoolValue(flags, std::nullopt, "kept");
    setBoolValue(flags, std::nullopt, "absent");
    EXPECT_EQ(flags, (Value::Object{{"kept", true}, {"two", true}, {"zero", false}}));
}

TEST(DuviduLocaleTest, PosixTimeIs24Hour)
{
    EXPECT_TRUE(duvidu_timeIs24HourFormat("C"));
    EXPECT_TRUE(duvidu_timeIs24HourFormat("no_SUCH.locale"));
}

}  // namespace
