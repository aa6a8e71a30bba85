// Breadcrumbs, users, messages and requests: dictionary forms, JSON forms, equality and hashes.
#include <gmock/gmock.h>

#include "Duvidu/DuviduBreadcrumb.h"
#include "Duvidu/DuviduMessage.h"
#include "Duvidu/DuviduRequest.h"
#include "Duvidu/DuviduUser.h"
#include "DuviduJSONTestSupport.h"
#include "DuviduTestSupport.h"

using namespace duvidu;
using duvidutest::parseJSON;
using duvidutest::roundTrip;

namespace {

class DuviduRecordsTest : public duvidutest::DuviduTest {};

TEST_F(DuviduRecordsTest, BreadcrumbFromDictionaryKeepsUnknownKeysAndWritesThemLast)
{
    auto known = DuviduBreadcrumb::initWithDictionary(
        {{"level", "warning"}, {"category", "ui"}, {"timestamp", "2024-01-31T12:00:00.250Z"}, {"own", 7}});
    EXPECT_EQ(known.level, DuviduLevel::Warning);
    EXPECT_EQ(known.category, "ui");
    EXPECT_EQ(known.unknown, (Value::Object{{"own", 7}}));
    EXPECT_EQ(roundTrip(known.serialize()),
              parseJSON(R"({"level":"warning","category":"ui","timestamp":"2024-01-31T12:00:00.250Z","own":7})"));

    // A known key whose value has the wrong type lands in unknown and wins on output.
    auto numeric = DuviduBreadcrumb::initWithDictionary({{"level", 3}, {"data", "text"}, {"message", "m"}});
    EXPECT_EQ(numeric.level, DuviduLevel::None);
    EXPECT_FALSE(numeric.data);
    EXPECT_EQ(roundTrip(numeric.serialize()), parseJSON(R"({"level":3,"data":"text","message":"m"})"));

    auto empty = DuviduBreadcrumb::initWithDictionary({{"timestamp", "yesterday"}, {"level", "Warning"}});
    EXPECT_FALSE(empty.timestamp || empty.category || empty.unknown);
    EXPECT_EQ(empty.level, DuviduLevel::Error);  // unknown names read as error
}

TEST_F(DuviduRecordsTest, BreadcrumbDefaultsEqualityHashAndDescription)
{
    auto before = std::chrono::system_clock::now();
    DuviduBreadcrumb breadcrumb;
    EXPECT_EQ(breadcrumb.level, DuviduLevel::Info);
    EXPECT_EQ(breadcrumb.category, "default");
    ASSERT_TRUE(breadcrumb.timestamp);
    EXPECT_GE(*breadcrumb.timestamp, before);  // the machine's clock, not the SDK's fixed test clock

    breadcrumb.data = Value::Object{{"__duvidu_hidden", 1}, {"when", DuviduDate(std::chrono::milliseconds(1500))}};
    auto json = breadcrumb.serialize();
    EXPECT_EQ(json.at("data"), Value(Value::Object{{"when", "1970-01-01T00:00:01.500Z"}}));

    auto same = breadcrumb;
    EXPECT_EQ(same, breadcrumb);
    EXPECT_EQ(same.hash(), breadcrumb.hash());
    same.timestamp = *same.timestamp + std::chrono::milliseconds(1);
    EXPECT_NE(same, breadcrumb);
    same = breadcrumb;
    same.level = DuviduLevel::Debug;
    EXPECT_NE(same, breadcrumb);

    DuviduBreadcrumb fixed(DuviduLevel::None, "net");
    fixed.timestamp.reset();
    EXPECT_THAT(fixed.description(), testing::MatchesRegex("<DuviduBreadcrumb: 0x[0-9a-f]+, \\{category = net, level = none\\}>"));
    EXPECT_THAT(DuviduMessage("hi").description(), testing::MatchesRegex("<DuviduMessage: 0x[0-9a-f]+, \\{formatted = hi\\}>"));
}

TEST_F(DuviduRecordsTest, UserDictionaryJSONEqualityAndCopies)
{
    auto user = DuviduUser::initWithDictionary({{"id", "42"},
                                                {"email", "ada@example.org"},
                                                {"username", 7},
                                                {"ip_address", "127.0.0.1"},
                                                {"segment", "beta"},
                                                {"name", "Ada"},
                                                {"geo", Value::Object{{"city", "Graz"}}},
                                                {"data", Value::Object{{"plan", "free"}}}});
    EXPECT_EQ(user.userId, "42");
    EXPECT_FALSE(user.name || user.geo || user.username);
    EXPECT_EQ(user.unknown, (Value::Object{{"username", 7}, {"name", "Ada"}, {"geo", Value::Object{{"city", "Graz"}}}}));
    EXPECT_EQ(roundTrip(user.serialize()),
              parseJSON(R"({"id":"42","email":"ada@example.org","username":7,"ip_address":"127.0.0.1",
                            "segment":"beta","name":"Ada","geo":{"city":"Graz"},"data":{"plan":"free"}})"));

    DuviduUser typed("1");
    typed.name = "Ada";
    typed.geo = DuviduGeo{"Graz", "AT", std::nullopt};
    EXPECT_EQ(roundTrip(typed.serialize()),
              parseJSON(R"({"id":"1","name":"Ada","geo":{"city":"Graz","country_code":"AT"}})"));

    auto copy = typed;  // both lack an email: equal on that field
    EXPECT_EQ(copy, typed);
    EXPECT_EQ(copy.hash(), typed.hash());
    copy.geo->region = "Styria";
    EXPECT_NE(copy, typed);
    EXPECT_FALSE(typed.geo->region);
    EXPECT_NE(DuviduUser("1"), DuviduUser("2"));
    EXPECT_EQ(DuviduGeo{}.hash(), DuviduGeo{}.hash());
}

TEST_F(DuviduRecordsTest, RequestWritesBodySizeOnlyWhenNotZero)
{
    DuviduRequest request;
    request.setBodySize(0);
    request.setCookies("a=1");
    request.setFragment("top");
    request.setHeaders(Value::Object{{"Date", DuviduDate(std::chrono::milliseconds(1500))}});
    request.setMethod("POST");
    request.setQueryString("q=1");
    request.setUrl("http://127.0.0.1/");
    EXPECT_EQ(roundTrip(request.serialize()),
              parseJSON(R"({"cookies":"a=1","fragment":"top","headers":{"Date":"1970-01-01T00:00:01.500Z"},
                            "method":"POST","query_string":"q=1","url":"http://127.0.0.1/"})"));
    request.setBodySize(uint64_t{1} << 32);  // 4 GiB is not an empty body
    EXPECT_EQ(request.serialize().at("body_size"), Value(uint64_t{1} << 32));
    DuviduRequest copy = request;
    EXPECT_EQ(copy.serialize(), request.serialize());
    EXPECT_TRUE(DuviduRequest().serialize().empty());
}

}  // namespace
