#include <unistd.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "Duvidu/DuviduByteCountFormatter.h"
#include "Duvidu/DuviduCrashWrapper.h"
#include "Duvidu/DuviduDateUtil.h"
#include "Duvidu/DuviduNSNotificationCenterWrapper.h"
#include "Duvidu/DuviduNSProcessInfoWrapper.h"
#include "Duvidu/DuviduSysctl.h"
#include "Duvidu/DuviduTime.h"
#include "Duvidu/SwiftDescriptor.h"
#include "DuviduTestSupport.h"

using namespace duvidu;
using namespace std::chrono_literals;

namespace {

class DuviduSystemWrappersTest : public duvidutest::DuviduTest {};

TEST(DuviduByteCountFormatterTest, WholeUnitsUpToGigabytes)
{
    const std::pair<uint64_t, const char*> rows[] = {
        {0, "0 bytes"},         {1023, "1,023 bytes"},   {1024, "1 KB"},
        {1536, "1 KB"},         {1048575, "1,023 KB"},   {1048576, "1 MB"},
        {1073741824, "1 GB"},   {2048ULL << 30, "2,048 GB"}, {UINT64_MAX, "17,179,869,184 GB"},
    };
    for (auto [bytes, text] : rows) EXPECT_EQ(DuviduByteCountFormatter::bytesCountDescription(bytes), text) << bytes;
}

TEST_F(DuviduSystemWrappersTest, DateUtil)
{
    EXPECT_FALSE(DuviduDateUtil::isInFuture(clock->now));
    EXPECT_TRUE(DuviduDateUtil::isInFuture(clock->now + 1ms));
    EXPECT_FALSE(DuviduDateUtil::isInFuture(std::nullopt));
    DuviduDate early(1s), late(2s);
    EXPECT_EQ(DuviduDateUtil::getMaximumDate(early, late), late);
    EXPECT_EQ(DuviduDateUtil::getMaximumDate(late, early), late);
    EXPECT_EQ(DuviduDateUtil::getMaximumDate(std::nullopt, early), early);
    EXPECT_EQ(DuviduDateUtil::getMaximumDate(std::nullopt, std::nullopt), std::nullopt);
}

TEST(DuviduDateUtilTest, SecondsSince1970OutsideTheClocksRangeNameNoDate)
{
    // The clock counts nanoseconds in 64 bits: about 9,223,372,036 seconds either side of 1970.
    EXPECT_EQ(DuviduDateUtil::dateWithSecondsSince1970(1.5), DuviduDate(1500ms));
    EXPECT_EQ(DuviduDateUtil::dateWithSecondsSince1970(-2), DuviduDate(-2s));
    EXPECT_EQ(DuviduDateUtil::dateWithSecondsSince1970(9223372036), DuviduDate(9223372036s));
    EXPECT_EQ(DuviduDateUtil::dateWithSecondsSince1970(-9223372036), DuviduDate(-9223372036s));
    const double outside[] = {9223372037.0, 1e10, 1e300, -9223372037.0, -1e19, std::nan(""), HUGE_VAL, -HUGE_VAL};
    for (double seconds : outside)
        EXPECT_EQ(DuviduDateUtil::dateWithSecondsSince1970(seconds), std::nullopt) << seconds;
}

TEST(DuviduSysctlTest, ParsesProcTexts)
{
    EXPECT_EQ(DuviduSysctl::bootTimeFromProcStat("cpu  1 2 3\nintr 5\nbtime 1714564800\nprocesses 9\n"), 1714564800);
    EXPECT_FALSE(DuviduSysctl::bootTimeFromProcStat("cpu 1\n"));
    EXPECT_FALSE(DuviduSysctl::bootTimeFromProcStat("btime x\n"));

    // A command name with spaces and parentheses; the start time is the 22nd field.
    std::string stat = "1234 (a) (b c)) S 1 1234 1234 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 1 0 987654 1000 50";
    EXPECT_EQ(DuviduSysctl::startTicksFromProcPidStat(stat), 987654u);
    EXPECT_FALSE(DuviduSysctl::startTicksFromProcPidStat("1234 (a) S 1 2"));
    EXPECT_FALSE(DuviduSysctl::startTicksFromProcPidStat("no parenthesis"));
}

TEST_F(DuviduSystemWrappersTest, ProcessDatesAreConsistent)
{
    DuviduSysctl sysctl;
    auto now = std::chrono::system_clock::now();
    auto boot = sysctl.systemBootTimestamp();
    auto start = sysctl.processStartTimestamp();
    EXPECT_GT(boot, DuviduDate{});
    EXPECT_LE(boot, start);
    // The clock-tick resolution and the whole-second boot time allow about a second of slack.
    EXPECT_LE(start, now + 2s);
    EXPECT_LE(sysctl.runtimeInitTimestamp(), sysctl.moduleInitializationTimestamp());
    EXPECT_LE(start, sysctl.runtimeInitTimestamp() + 2s);
    EXPECT_TRUE(logOutput->lines().empty());
}

TEST(DuviduCrashWrapperTest, ProbesReadTheMachine)
{
    DuviduCrashWrapper wrapper;
    EXPECT_GT(wrapper.freeMemorySize(), 0u);
    EXPECT_GT(wrapper.freeStorageSize(), 0u);
    auto before = wrapper.appMemorySize();
    EXPECT_GT(before, 0u);
    // 64 MiB touched page by page must show up as memory the process owns.
    constexpr size_t size = 64 << 20;
    std::unique_ptr<char[]> block(new char[size]);
    std::memset(block.get(), 1, size);
    auto after = wrapper.appMemorySize();
    EXPECT_GE(after, before + size / 2);
    EXPECT_EQ(block[size - 1], 1);

    EXPECT_EQ(DuviduCrashWrapper::kilobytesField("Name:\tx\nRssAnon:\t  2048 kB\n", "RssAnon"), 2048u * 1024);
    EXPECT_FALSE(DuviduCrashWrapper::kilobytesField("RssFile: 1 kB\n", "RssAnon"));
}

TEST(DuviduProcessInfoTest, DescribesThisProcess)
{
    auto info = DuviduNSProcessInfoWrapper::shared();
    EXPECT_TRUE(info->processPath().ends_with("/duvidu_unit_tests"));
    EXPECT_EQ(info->processDirectoryPath() + "/duvidu_unit_tests", info->processPath());
    EXPECT_GE(info->processorCount(), 1u);
    EXPECT_EQ(DuviduNSProcessInfoWrapper::shared(), info);
}

TEST(DuviduTimeTest, UptimeAdvances)
{
    auto first = getUptimeNs();
    std::this_thread::sleep_for(2ms);
    EXPECT_GE(getUptimeNs() - first, 2'000'000u);
}

TEST(SwiftDescriptorTest, NamesTypesAndBridgedErrors)
{
    std::runtime_error error("x");
    const std::exception& base = error;
    EXPECT_EQ(SwiftDescriptor::getObjectClassName(base), "std::runtime_error");
    EXPECT_EQ(SwiftDescriptor::getSwiftErrorDescription(NSError::bridged("M.T", 1, "text")), "text");
    EXPECT_FALSE(SwiftDescriptor::getSwiftErrorDescription(NSError("M.T", 1)));
}

TEST(DuviduNotificationCenterTest, ObjectFilterAndLifecycleNames)
{
    DuviduNSNotificationCenterWrapper center;
    int observer = 0, sender = 0, other = 0;
    std::vector<const void*> objects;
    auto name = DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName();
    EXPECT_EQ(name, "NSApplicationDidBecomeActiveNotification");
    center.addObserver(&observer, [&](const DuviduNotification& n) { objects.push_back(n.object); }, name, &sender);
    center.postNotificationName(name, &other);
    center.postNotificationName(name, &sender);
    center.removeObserver(&observer, name, &sender);
    center.postNotificationName(name, &sender);
    EXPECT_EQ(objects, std::vector<const void*>{&sender});
}

}  // namespace
