// The event and its parts: their JSON forms and the duplicate-frame fix.
#include "Duvidu/DuviduDebugMeta.h"
#include "Duvidu/DuviduStacktrace.h"
#include "Duvidu/DuviduThread.h"
#include "DuviduJSONTestSupport.h"
#include "DuviduTestSupport.h"

using namespace duvidu;
using duvidutest::parseJSON;
using duvidutest::roundTrip;

namespace {

class DuviduEventModelTest : public duvidutest::DuviduTest {};

DuviduFrame frame(std::string symbol, std::string instruction)
{
    DuviduFrame frame;
    frame.symbolAddress = std::move(symbol);
    frame.instructionAddress = std::move(instruction);
    return frame;
}

TEST_F(DuviduEventModelTest, FramesThreadsImagesAndStacksWriteOnlyWhatIsPresent)
{
    EXPECT_EQ(roundTrip(DuviduFrame().serialize()), parseJSON(R"({"function":"<redacted>"})"));

    DuviduFrame full;
    full.symbolAddress = "0x0000000000001000";
    full.fileName = "main.cpp";
    full.function = "main";
    full.module = "vellumcaster";
    full.package = "/usr/bin/vellumcaster";
    full.imageAddress = "0x0000000000000000";
    full.platform = "native";
    full.instructionAddress = "0x0000000000001010";
    full.lineNumber = 12;
    full.columnNumber = 3;
    full.inApp = true;
    full.stackStart = false;
    EXPECT_EQ(roundTrip(full.serialize()), parseJSON(R"({"symbol_addr":"0x0000000000001000","filename":"main.cpp",
        "function":"main","module":"vellumcaster","package":"/usr/bin/vellumcaster","image_addr":"0x0000000000000000",
        "platform":"native","instruction_addr":"0x0000000000001010","lineno":12,"colno":3,"in_app":true,
        "stack_start":false})"));

    EXPECT_TRUE(DuviduStacktrace().serialize().empty());
    DuviduFrame blank;
    blank.function.reset();
    DuviduStacktrace stack({blank, DuviduFrame()}, {{"lr", "0x10"}});
    stack.snapshot = true;
    EXPECT_EQ(roundTrip(stack.serialize()),
              parseJSON(R"({"frames":[{"function":"<redacted>"}],"registers":{"lr":"0x10"},"snapshot":true})"));
    DuviduStacktrace onlyBlank({blank}, {});
    EXPECT_TRUE(onlyBlank.serialize().empty());

    EXPECT_EQ(roundTrip(DuviduThread(std::nullopt).serialize()), parseJSON(R"({"id":99})"));
    DuviduThread thread(7);
    thread.name = "worker";
    thread.crashed = true;
    thread.current = false;
    thread.isMain = true;
    thread.stacktrace = DuviduStacktrace({DuviduFrame()}, {});
    EXPECT_EQ(roundTrip(thread.serialize()), parseJSON(R"({"id":7,"name":"worker","crashed":true,"current":false,
        "main":true,"stacktrace":{"frames":[{"function":"<redacted>"}]}})"));

    DuviduDebugMeta image;
    image.name = "/usr/lib/x86_64-linux-gnu/libc.so.6";
    image.debugID = "6ef1b4a2-0000-0000-0000-000000000000";
    image.type = "elf";
    image.imageSize = 4096;
    image.imageAddress = "0x00007f0000000000";
    image.imageVmAddress = "0x0000000000000000";
    image.codeFile = "/usr/lib/x86_64-linux-gnu/libc.so.6";
    image.uuid = "6ef1b4a2";
    EXPECT_EQ(roundTrip(image.serialize()), parseJSON(R"({"name":"libc.so.6","debug_id":"6ef1b4a2-0000-0000-0000-000000000000",
        "type":"elf","image_size":4096,"image_addr":"0x00007f0000000000","image_vmaddr":"0x0000000000000000",
        "code_file":"/usr/lib/x86_64-linux-gnu/libc.so.6","uuid":"6ef1b4a2"})"));
}

TEST_F(DuviduEventModelTest, DuplicateTopFrameGoesOnlyWhenTheLinkRegisterPointsAtIt)
{
    auto outer = frame("0x100", "0x104");
    auto second = frame("0x200", "0x208");
    auto last = frame("0x200", "0x200");

    DuviduStacktrace fixed({outer, second, last}, {{"lr", "0x208"}});
    fixed.fixDuplicateFrames();
    EXPECT_EQ(fixed.frames, (std::vector<DuviduFrame>{outer, last}));
    ASSERT_EQ(logOutput->lines().size(), 1u);
    EXPECT_NE(logOutput->lines()[0].find("[DuviduStacktrace:"), std::string::npos);
    EXPECT_NE(logOutput->lines()[0].find("] Found duplicate frame, removing one with link register"), std::string::npos);

    const std::vector<DuviduStacktrace> unchanged = {
        DuviduStacktrace({last}, {{"lr", "0x200"}}),                   // one frame
        DuviduStacktrace({outer, second, last}, {}),                   // no registers
        DuviduStacktrace({outer, second, last}, {{"lr", "0x300"}}),    // the link register points elsewhere
        DuviduStacktrace({outer, frame("0x300", "0x208"), last}, {{"lr", "0x208"}}),  // other symbols
        DuviduStacktrace({DuviduFrame(), DuviduFrame()}, {{"lr", "0x208"}}),          // no addresses at all
    };
    for (const auto& original : unchanged) {
        auto stack = original;
        stack.fixDuplicateFrames();
        EXPECT_EQ(stack, original);
    }
    EXPECT_EQ(logOutput->lines().size(), 1u);
}

}  // namespace
