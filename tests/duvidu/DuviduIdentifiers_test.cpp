#include <set>

#include "Duvidu/DuviduAttachment.h"
#include "Duvidu/DuviduId.h"
#include "Duvidu/DuviduLevel.h"
#include "Duvidu/DuviduMeta.h"
#include "Duvidu/DuviduSdkInfo.h"
#include "DuviduTestSupport.h"

using namespace duvidu;

namespace {

TEST(DuviduIdTest, ParsesBothTextFormsAndRejectsTheRest)
{
    auto dashed = DuviduId::fromUUIDString("9EC79C33-EC99-42AB-8353-589FCB2E04DC");
    auto plain = DuviduId::fromUUIDString("9ec79c33ec9942ab8353589fcb2e04dc");
    EXPECT_EQ(dashed, plain);
    EXPECT_EQ(dashed.duviduIdString(), "9ec79c33ec9942ab8353589fcb2e04dc");
    EXPECT_EQ(dashed.description(), dashed.duviduIdString());
    EXPECT_FALSE(dashed.isEmpty());

    for (const char* bad : {"9ec79c33ec9942ab8353589fcb2e04d", "9ec79c33ec9942ab8353589fcb2e04dc0",
                            "9ec79c33ec9942ab8353589fcb2e04dg", "+ec79c33ec9942ab8353589fcb2e04dc",
                            "9ec79c33xec99-42ab-8353-589fcb2e04dc", ""}) {
        EXPECT_EQ(DuviduId::fromUUIDString(bad), DuviduId::empty()) << bad;
    }
    EXPECT_EQ(DuviduId::empty().duviduIdString(), std::string(32, '0'));
}

TEST(DuviduIdTest, RandomIdsAreVersion4AndDistinct)
{
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        DuviduId id;
        auto text = id.duviduIdString();
        EXPECT_EQ(text[12], '4');
        EXPECT_NE(std::string("89ab").find(text[16]), std::string::npos);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(DuviduLevelTest, NamesBothWays)
{
    EXPECT_EQ(nameForLevel(DuviduLevel::Warning), "warning");
    EXPECT_EQ(nameForLevel(DuviduLevel::None), "none");
    EXPECT_EQ(nameForLevel(static_cast<DuviduLevel>(6)), "none");
    EXPECT_EQ(levelForName("fatal"), DuviduLevel::Fatal);
    EXPECT_EQ(levelForName("none"), DuviduLevel::None);
    EXPECT_EQ(levelForName("Warning"), DuviduLevel::Error);
    EXPECT_EQ(levelForName(std::nullopt), DuviduLevel::Error);
}

TEST(DuviduSdkInfoTest, SerializeAndDictionaryForms)
{
    DuviduSdkInfo info(DuviduMeta::sdkName(), DuviduMeta::versionString());
    EXPECT_EQ(info.serialize(),
              (Value::Object{{"sdk", Value::Object{{"name", "duvidu.cocoa"},
                                                   {"version", "8.8.0"},
                                                   {"packages", Value::Object{{"name", "spm:veveriroz/duvidu.cocoa"},
                                                                              {"version", "8.8.0"}}}}}}));
    info.setPackageManager(3);
    EXPECT_FALSE(info.serialize().at("sdk").asObject()->count("packages"));
    EXPECT_EQ(DuviduSdkInfo::getPackageName(2, "x"), "carthage:veveriroz/x");

    DuviduSdkInfo defaults("default-name", "9.9");
    auto numberName = DuviduSdkInfo::initWithDict({{"sdk", Value::Object{{"name", 5}, {"version", "1.0"}}}});
    EXPECT_EQ(numberName.name(), "");
    EXPECT_EQ(numberName.version(), "1.0");
    auto filled = DuviduSdkInfo::initWithDict({{"sdk", Value::Object{{"version", "1.0"}}}}, defaults);
    EXPECT_EQ(filled.name(), "default-name");
    EXPECT_EQ(filled.version(), "1.0");
    auto noSdk = DuviduSdkInfo::initWithDict({{"sdk", "text"}}, defaults);
    EXPECT_EQ(noSdk.name(), "");
    EXPECT_EQ(noSdk.version(), "");
}

TEST(DuviduAttachmentTest, PathFormsAndTypeNames)
{
    auto attachment = DuviduAttachment::withPath("/var/log/app/trace.log");
    EXPECT_EQ(attachment.filename(), "trace.log");
    EXPECT_FALSE(attachment.contentType());
    EXPECT_FALSE(attachment.data());
    EXPECT_EQ(attachment.attachmentType(), DuviduAttachmentType::EventAttachment);
    EXPECT_EQ(DuviduAttachment::lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(DuviduAttachment::lastPathComponent("/"), "/");
    EXPECT_EQ(DuviduAttachment::lastPathComponent("name"), "name");

    EXPECT_EQ(nameForAttachmentType(static_cast<DuviduAttachmentType>(7)), "event.attachment");
    EXPECT_EQ(nameForAttachmentType(DuviduAttachmentType::ViewHierarchy), "event.view_hierarchy");
    EXPECT_EQ(attachmentTypeForName("event.view_hierarchy"), DuviduAttachmentType::ViewHierarchy);
    EXPECT_EQ(attachmentTypeForName(std::nullopt), DuviduAttachmentType::EventAttachment);
}

}  // namespace
