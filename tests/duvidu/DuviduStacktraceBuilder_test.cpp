#include <cstring>
#include <memory>
#include <vector>

#include "Duvidu/DuviduCrashMachineContextWrapper.h"
#include "Duvidu/DuviduFrameRemover.h"
#include "Duvidu/DuviduInAppLogic.h"
#include "Duvidu/DuviduStacktraceBuilder.h"
#include "Duvidu/DuviduThreadInspector.h"
#include "DuviduTestSupport.h"

using namespace duvidu;

namespace {

// A cursor over a fixed list of entries; entries whose image name is "unknown" do not symbolicate.
struct ScriptedCursor {
    static std::vector<DuviduCrashStackEntry>& entries()
    {
        static std::vector<DuviduCrashStackEntry> list;
        return list;
    }
    static DuviduCrashStackCursor make(std::vector<DuviduCrashStackEntry> list)
    {
        entries() = std::move(list);
        DuviduCrashStackCursor cursor;
        std::memset(&cursor, 0, sizeof cursor);
        cursor.resetCursor = [](DuviduCrashStackCursor* c) {
            c->context[0] = nullptr;
            return true;
        };
        cursor.advanceCursor = [](DuviduCrashStackCursor* c) {
            auto index = reinterpret_cast<uintptr_t>(c->context[0]);
            if (index >= entries().size()) return false;
            c->stackEntry = DuviduCrashStackEntry{entries()[index].address, nullptr, 0, nullptr, 0};
            c->context[0] = reinterpret_cast<void*>(index + 1);
            c->state.currentDepth++;
            return true;
        };
        cursor.symbolicate = [](DuviduCrashStackCursor* c) {
            const auto& entry = entries()[reinterpret_cast<uintptr_t>(c->context[0]) - 1];
            if (entry.imageName && std::strcmp(entry.imageName, "unknown") == 0) return false;
            c->stackEntry = entry;
            return true;
        };
        return cursor;
    }
};

DuviduCrashStackEntry entry(uint64_t address, const char* symbol, const char* image = "/opt/demo/Demo")
{
    return {address, image, 0x1000, symbol, address & ~0xFULL};
}

const DuviduCrashStackEntry kMarker{kDuviduCrashAsyncMarkerAddress, nullptr, 0, nullptr, 0};

class DuviduStacktraceBuilderTest : public duvidutest::DuviduTest {
protected:
    DuviduStacktraceBuilder builder{std::make_shared<DuviduCrashStackEntryMapper>(
        std::make_shared<DuviduInAppLogic>(std::vector<std::string>{"demo"}, std::vector<std::string>{}))};

    static std::vector<std::string> functions(const DuviduStacktrace& trace)
    {
        std::vector<std::string> names;
        for (const auto& frame : trace.frames) names.push_back(frame.function.value_or("?"));
        return names;
    }
};

TEST_F(DuviduStacktraceBuilderTest, MarkersMarkTheFrameBeforeThemAndAddNone)
{
    using Names = std::vector<std::string>;
    // Innermost first: marker, A, B, marker, C.
    auto trace = builder.retrieveStacktraceFromCursor(
        ScriptedCursor::make({kMarker, entry(0x1010, "A"), entry(0x1020, "B"), kMarker, entry(0x1030, "C")}));
    EXPECT_EQ(functions(trace), (Names{"C", "B", "A"}));
    EXPECT_FALSE(trace.frames[0].stackStart.has_value());
    EXPECT_EQ(trace.frames[1].stackStart, true);
    EXPECT_FALSE(trace.frames[2].stackStart.has_value());
    EXPECT_TRUE(trace.registers.empty());

    // A frame that does not symbolicate is dropped; the marker after it marks the frame before it.
    trace = builder.retrieveStacktraceFromCursor(
        ScriptedCursor::make({entry(0x1010, "A"), entry(0x1020, "lost", "unknown"), kMarker, entry(0x1030, "C")}));
    EXPECT_EQ(functions(trace), (Names{"C", "A"}));
    EXPECT_EQ(trace.frames[1].stackStart, true);

    // Saved entries follow the same rules.
    std::vector<DuviduCrashStackEntry> saved{kMarker, entry(0x1010, "A"), kMarker, entry(0x1020, "B")};
    trace = builder.buildStackTraceFromStackEntries(saved.data(), saved.size());
    EXPECT_EQ(functions(trace), (Names{"B", "A"}));
    EXPECT_EQ(trace.frames[1].stackStart, true);
    EXPECT_FALSE(trace.frames[0].stackStart.has_value());
}

TEST_F(DuviduStacktraceBuilderTest, MapsEntriesToFrames)
{
    DuviduCrashStackEntryMapper mapper(
        std::make_shared<DuviduInAppLogic>(std::vector<std::string>{"demo"}, std::vector<std::string>{}));
    auto frame = mapper.duviduCrashStackEntryToDuviduFrame({0x7f00deadbeef, "/opt/demo/Demo", 0x7f00de000000,
                                                            "_Z4workv", 0x7f00deadbe00});
    EXPECT_EQ(frame.instructionAddress, "0x00007f00deadbeef");
    EXPECT_EQ(frame.imageAddress, "0x00007f00de000000");
    EXPECT_EQ(frame.symbolAddress, "0x00007f00deadbe00");
    EXPECT_EQ(frame.function, "_Z4workv");
    EXPECT_EQ(frame.package, "/opt/demo/Demo");
    EXPECT_EQ(frame.inApp, true);

    // No image: no package and no in-app flag; a name that is not UTF-8 is not a name.
    frame = mapper.duviduCrashStackEntryToDuviduFrame({0x10, nullptr, 0, "\xff\xfe", 0});
    EXPECT_FALSE(frame.package.has_value());
    EXPECT_FALSE(frame.inApp.has_value());
    EXPECT_EQ(frame.function, "<redacted>");
    EXPECT_EQ(frame.symbolAddress, "0x0000000000000000");
}

TEST(DuviduFrameRemoverTest, RemovesTheSdkFramesOnTheInnerEnd)
{
    auto frame = [](const char* package) {
        DuviduFrame value;
        if (package) value.package = package;
        return value;
    };
    auto framework = frame("/Apps/Demo.app/Frameworks/Duvidu.framework/Duvidu");
    auto library = frame("/usr/lib/x86_64-linux-gnu/libduvidu.so");
    auto app = frame("/opt/demo/Demo");
    using Frames = std::vector<DuviduFrame>;
    EXPECT_EQ(DuviduFrameRemover::removeNonSdkFrames({framework, app}), (Frames{app}));
    EXPECT_EQ(DuviduFrameRemover::removeNonSdkFrames({library, framework, app, library}), (Frames{app, library}));
    // A frame without package ends the SDK's frames; a trace of SDK frames only comes back whole.
    EXPECT_EQ(DuviduFrameRemover::removeNonSdkFrames({library, frame(nullptr), app}), (Frames{frame(nullptr), app}));
    EXPECT_EQ(DuviduFrameRemover::removeNonSdkFrames({library, framework}), (Frames{library, framework}));
    EXPECT_FALSE(DuviduFrameRemover::isSdkFrame(frame("/opt/libduvidu-plugins/libdemo.so")));
}

TEST(DuviduInAppLogicTest, OnlyIncludesMakeAnImageInApp)
{
    const std::string path = "/Applications/Demo.app/Contents/MacOS/Demo";
    EXPECT_TRUE(DuviduInAppLogic({"demo"}, {}).isInApp(path));
    EXPECT_TRUE(DuviduInAppLogic({"demo"}, {"demo"}).isInApp(path));
    EXPECT_FALSE(DuviduInAppLogic({}, {}).isInApp(path));
    EXPECT_FALSE(DuviduInAppLogic({"demo"}, {}).isInApp(std::nullopt));
    // The file name begins with the include; the folders do not count.
    EXPECT_TRUE(DuviduInAppLogic({"Vellum"}, {}).isInApp("/usr/bin/vellumcaster"));
    EXPECT_FALSE(DuviduInAppLogic({"vellum"}, {}).isInApp("/opt/vellum/libhelper.so"));
    // The SDK's library is never the application's with the default include, the executable's name.
    EXPECT_FALSE(DuviduInAppLogic({"vellumcaster"}, {}).isInApp("/usr/lib/libduvidu.so"));
}

// A machine context of three threads whose names the test chooses.
class FixedThreads : public DuviduCrashMachineContextWrapper {
public:
    std::vector<std::string> names{"main", "\xc3\x28", ""};
    void fillContextForCurrentThread(DuviduCrashMachineContext* context) override
    {
        context->threadCount = 3;
        context->allThreads[0] = 201;
        context->allThreads[1] = 100;  // the main thread, listed second
        context->allThreads[2] = 202;
    }
    int getThreadCount(const DuviduCrashMachineContext* context) override { return context->threadCount; }
    pid_t getThread(const DuviduCrashMachineContext* context, int index) override
    {
        return context->allThreads[index];
    }
    bool getThreadName(pid_t thread, char* buffer, int length) override
    {
        const std::string& name = thread == 100 ? names[0] : thread == 201 ? names[1] : names[2];
        if (thread == 202) return false;
        std::snprintf(buffer, static_cast<size_t>(length), "%s", name.c_str());
        return true;
    }
    bool isMainThread(pid_t thread) override { return thread == 100; }
};

TEST_F(DuviduStacktraceBuilderTest, ThreadListPutsTheMainThreadFirstAndReadsOnlyUTF8Names)
{
    DuviduThreadInspector inspector(std::make_shared<DuviduStacktraceBuilder>(builder),
                                    std::make_shared<FixedThreads>());
    auto threads = inspector.getCurrentThreads();
    ASSERT_EQ(threads.size(), 3u);
    EXPECT_EQ(threads[0].threadId, 1);
    EXPECT_EQ(threads[0].isMain, true);
    EXPECT_EQ(threads[0].name, "main");
    EXPECT_EQ(threads[1].threadId, 0);
    EXPECT_EQ(threads[1].name, "");  // not UTF-8
    EXPECT_EQ(threads[2].name, "");  // not readable
    for (const auto& thread : threads) {
        EXPECT_EQ(thread.current, false);
        EXPECT_EQ(thread.crashed, false);
        EXPECT_FALSE(thread.stacktrace.has_value());
    }
}

}  // namespace
