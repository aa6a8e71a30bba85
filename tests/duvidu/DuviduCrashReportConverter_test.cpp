// A stored crash report becomes a crash event: how the process died, the crashed thread's stack named from the image
// file on disk only while that file is the one the report saw, the images, and the scope the report carried.

#include <gtest/gtest.h>

#include <filesystem>

#include "Duvidu/DuviduCrashReportConverter.h"
#include "DuviduCrash/Recording/DuviduCrashBinaryImageCache.h"

using namespace duvidu;

extern "C" __attribute__((noinline)) void duviduConverterTestFaultingFunction() {}

namespace {

// This test program as the crash core lists it.
const DuviduCrashBinaryImageCache::Image& testProgram()
{
    DuviduCrashBinaryImageCache::refresh();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    for (const auto& image : DuviduCrashBinaryImageCache::current()->images) {
        if (image.record.name && image.record.name == self) return image;
    }
    throw std::runtime_error("this program is not in the image list");
}

std::string hex(const uint8_t* bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 16; ++i) text += {digits[bytes[i] >> 4], digits[bytes[i] & 0x0F]};
    return text;
}

// A report of a SIGSEGV in duviduConverterTestFaultingFunction, as a crash handler writes it; its image's build id as
// given.
Value::Object report(const std::string& buildId)
{
    const auto& image = testProgram().record;
    const auto address = reinterpret_cast<uint64_t>(&duviduConverterTestFaultingFunction);
    return Value::Object{
        {"report", Value::Object{{"id", "0123456789abcdef0123456789abcdef"}, {"timestamp", 1700000000.5}}},
        {"crash", Value::Object{{"type", "signal"},
                                {"thread", 0},
                                {"address", 16},
                                {"signal", Value::Object{{"number", 11},
                                                         {"code", 1},
                                                         {"name", "SIGSEGV"},
                                                         {"code_name", "SEGV_MAPERR"}}}}},
        {"threads",
         Value::Array{
             Value::Object{{"tid", 100},
                           {"name", "main"},
                           {"main", true},
                           {"crashed", true},
                           {"backtrace",
                            Value::Object{{"first_exact", true},
                                          {"frames", Value::Array{Value::Object{{"address", address},
                                                                                {"image", 0},
                                                                                {"offset", address - image.address}},
                                                                  Value::Object{{"address", 12345}}}}}}},
             Value::Object{{"tid", 101}, {"name", "worker"}, {"main", false}, {"crashed", false}}}},
        {"images", Value::Array{Value::Object{{"path", image.name},
                                              {"address", image.address},
                                              {"vmaddr", image.vmAddress},
                                              {"size", image.size},
                                              {"build_id", buildId}}}},
        {"user_info", Value::Object{{"release", "app@1.0+7"}, {"dist", "7"}, {"environment", "staging"}}},
        {"scope", Value::Object{{"tags", Value::Object{{"fault", "segv"}, {"count", 1}}},
                                {"environment", "production"},
                                {"user", Value::Object{{"id", "someone"}}},
                                {"breadcrumbs", Value::Array{Value::Object{{"message", "about to crash"}}}}}},
    };
}

std::shared_ptr<DuviduEvent> convert(const Value::Object& report)
{
    auto inAppLogic = std::make_shared<DuviduInAppLogic>(std::vector<std::string>{}, std::vector<std::string>{});
    return DuviduCrashReportConverter(report, inAppLogic).convertReportToEvent();
}

TEST(DuviduCrashReportConverter, MakesAFatalEventWithTheCrashedStackNamedFromTheImageFile)
{
    auto event = convert(report(hex(testProgram().record.uuid)));
    ASSERT_TRUE(event);
    EXPECT_EQ(event->level, DuviduLevel::Fatal);
    EXPECT_EQ(event->eventId.duviduIdString(), "0123456789abcdef0123456789abcdef");
    ASSERT_TRUE(event->timestamp);
    EXPECT_EQ(std::chrono::duration<double>(event->timestamp->time_since_epoch()).count(), 1700000000.5);

    ASSERT_TRUE(event->exceptions && event->exceptions->size() == 1);
    const auto& exception = event->exceptions->front();
    EXPECT_EQ(exception.type, "SIGSEGV");
    EXPECT_EQ(exception.value, "SIGSEGV / SEGV_MAPERR at 0x0000000000000010");
    EXPECT_EQ(exception.threadId, 0);
    ASSERT_TRUE(exception.mechanism);
    EXPECT_EQ(exception.mechanism->type, "signal");
    EXPECT_EQ(exception.mechanism->handled, false);
    EXPECT_EQ(exception.mechanism->meta->signal,
              (Value::Object{{"number", 11}, {"code", 1}, {"name", "SIGSEGV"}, {"code_name", "SEGV_MAPERR"}}));

    ASSERT_TRUE(event->threads && event->threads->size() == 2);
    const auto& crashed = event->threads->at(0);
    EXPECT_EQ(crashed.crashed, true);
    EXPECT_EQ(crashed.current, true);
    EXPECT_EQ(crashed.isMain, true);
    EXPECT_EQ(crashed.name, "main");
    EXPECT_FALSE(event->threads->at(1).stacktrace);
    ASSERT_TRUE(crashed.stacktrace);
    const auto& frames = crashed.stacktrace->frames;  // outermost first
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].instructionAddress, "0x0000000000003039");
    EXPECT_FALSE(frames[0].package);
    EXPECT_FALSE(frames[0].imageAddress);
    EXPECT_EQ(frames[1].function, "duviduConverterTestFaultingFunction");
    EXPECT_EQ(frames[1].package, testProgram().record.name);
    EXPECT_EQ(frames[1].symbolAddress, frames[1].instructionAddress);

    ASSERT_TRUE(event->debugMeta && event->debugMeta->size() == 1);
    EXPECT_EQ(event->debugMeta->front().codeFile, testProgram().record.name);
    EXPECT_EQ(event->debugMeta->front().imageAddress, frames[1].imageAddress);

    EXPECT_EQ(event->releaseName, "app@1.0+7");
    EXPECT_EQ(event->dist, "7");
    EXPECT_EQ(event->environment, "production");  // the scope's, over the one the user info had at install
    EXPECT_EQ(event->tags, (Value::Object{{"fault", "segv"}}));  // tags are texts only
    ASSERT_TRUE(event->user);
    EXPECT_EQ(event->user->userId, "someone");
    EXPECT_EQ(event->serializedBreadcrumbs, (std::vector<Value::Object>{{{"message", "about to crash"}}}));
}

TEST(DuviduCrashReportConverter, NamesNoFunctionFromAFileWhoseBuildIdChanged)
{
    auto event = convert(report(std::string(32, '0')));
    ASSERT_TRUE(event);
    const auto& frame = event->threads->at(0).stacktrace->frames.at(1);
    EXPECT_EQ(frame.package, testProgram().record.name);
    EXPECT_NE(frame.function, "duviduConverterTestFaultingFunction");
    EXPECT_FALSE(frame.symbolAddress);
}

TEST(DuviduCrashReportConverter, AnUncaughtCppExceptionKeepsItsTypeAndMessage)
{
    Value::Object crash = report(hex(testProgram().record.uuid));
    auto& details = *crash["crash"].asObject();
    details["type"] = "cpp_exception";
    details["signal"] = Value::Object{{"number", 6}, {"code", 0}, {"name", "SIGABRT"}};
    details["cpp_exception"] = Value::Object{{"type", "std::runtime_error"}, {"reason", "gave up"}};
    auto event = convert(crash);
    ASSERT_TRUE(event);
    const auto& exception = event->exceptions->front();
    EXPECT_EQ(exception.type, "std::runtime_error");
    EXPECT_EQ(exception.value, "gave up");
    EXPECT_EQ(exception.mechanism->type, "cpp_exception");
}

TEST(DuviduCrashReportConverter, AReportWithoutACrashGivesNoEvent)
{
    Value::Object incomplete = report(std::string(32, '0'));
    incomplete.erase("crash");
    EXPECT_FALSE(convert(incomplete));
}

}  // namespace
