// The locale and time-zone facts that go into an event's "culture" context.
#include <filesystem>
#include <fstream>

#include "Duvidu/NSLocale.h"
#include "Duvidu/NSTimeZone.h"
#include "DuviduTestSupport.h"

using namespace duvidu;
namespace fs = std::filesystem;

namespace {

TEST(NSLocaleTest, IdentifiersNamesAndCalendars)
{
    EXPECT_EQ(NSLocale::localeIdentifierForPosixName("de_DE.UTF-8@euro"), "de_DE");
    EXPECT_EQ(NSLocale::localeIdentifierForPosixName("fr"), "fr");
    EXPECT_EQ(NSLocale::localeIdentifierForPosixName("C.UTF-8"), "en_US_POSIX");
    EXPECT_EQ(NSLocale::localeIdentifierForPosixName("POSIX"), "en_US_POSIX");

    NSLocale english("en_US.UTF-8");
    EXPECT_EQ(english.localizedStringForLocaleIdentifier(english.localeIdentifier()), "English (United States)");
    EXPECT_EQ(english.calendarIdentifier(), "gregorian");
    EXPECT_EQ(english.localizedStringForCalendarIdentifier("gregorian"), "Gregorian Calendar");

    NSLocale german("de_DE.UTF-8");
    EXPECT_EQ(german.localizedStringForLocaleIdentifier("de_DE"), "Deutsch (Deutschland)");
    EXPECT_EQ(german.localizedStringForCalendarIdentifier("gregorian"), "Gregorianischer Kalender");

    // A locale whose default calendar is not the Gregorian one.
    EXPECT_EQ(NSLocale("th_TH.UTF-8").calendarIdentifier(), "buddhist");
}

TEST(NSLocaleTest, CurrentLocaleFollowsTheEnvironment)
{
    duvidutest::ScopedVariable all("LC_ALL", nullptr);
    duvidutest::ScopedVariable messages("LC_MESSAGES", nullptr);
    auto current = NSLocale::autoupdatingCurrentLocale();
    {
        duvidutest::ScopedVariable lang("LANG", "de_AT.UTF-8");
        EXPECT_EQ(current->localeIdentifier(), "de_AT");
    }
    {
        duvidutest::ScopedVariable lang("LANG", "en_GB.UTF-8");
        duvidutest::ScopedVariable overriding("LC_ALL", "fr_CA.UTF-8");
        EXPECT_EQ(current->localeIdentifier(), "fr_CA");
    }
    duvidutest::ScopedVariable lang("LANG", nullptr);
    EXPECT_EQ(current->localeIdentifier(), "en_US_POSIX");
    EXPECT_TRUE(current->timeIs24HourFormat());  // the C locale writes 24-hour times
}

class NSTimeZoneTest : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(etc); }
    void TearDown() override { fs::remove_all(etc.parent_path()); }

    fs::path etc = fs::temp_directory_path() / ("duvidu-tz-" + std::to_string(getpid())) / "etc";
};

TEST_F(NSTimeZoneTest, FromTheVariableThenTheLinkThenTheFile)
{
    std::ofstream(etc / "timezone") << "  America/Chicago \nignored\n";
    {
        duvidutest::ScopedVariable tz("TZ", nullptr);
        EXPECT_EQ(NSTimeZone::systemTimeZone(etc.string()).name(), "America/Chicago");
        fs::create_symlink("../usr/share/zoneinfo/right/Asia/Tokyo", etc / "localtime");
        EXPECT_EQ(NSTimeZone::systemTimeZone(etc.string()).name(), "Asia/Tokyo");
    }
    {
        duvidutest::ScopedVariable tz("TZ", ":Europe/Berlin");
        EXPECT_EQ(NSTimeZone::systemTimeZone(etc.string()).name(), "Europe/Berlin");
    }
    {
        duvidutest::ScopedVariable tz("TZ", "/usr/share/zoneinfo/Pacific/Auckland");
        EXPECT_EQ(NSTimeZone::systemTimeZone(etc.string()).name(), "Pacific/Auckland");
    }
    {
        duvidutest::ScopedVariable tz("TZ", "");
        EXPECT_EQ(NSTimeZone::systemTimeZone(etc.string()).name(), "UTC");
    }
    fs::remove(etc / "localtime");
    fs::remove(etc / "timezone");
    duvidutest::ScopedVariable tz("TZ", nullptr);
    EXPECT_EQ(NSTimeZone::systemTimeZone(etc.string()).name(), "UTC");
}

}  // namespace
