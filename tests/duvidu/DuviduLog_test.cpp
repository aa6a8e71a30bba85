#include "Duvidu/DuviduLog.h"

#include "Duvidu/DuviduError.h"
#include "Duvidu/DuviduMachLogging.h"
#include "Duvidu/NSException.h"
#include "DuviduTestSupport.h"

using namespace duvidu;

namespace {

// Taken before main() runs, so before any test configures the log.
const bool kInitialDebug = DuviduLog::isDebug();
const DuviduLevel kInitialLevel = DuviduLog::diagnosticLevel();

class DuviduLogTest : public duvidutest::DuviduTest {};

TEST_F(DuviduLogTest, StartsPrintingErrorsOnlyUntilConfigured)
{
    EXPECT_TRUE(kInitialDebug);
    EXPECT_EQ(kInitialLevel, DuviduLevel::Error);
    DuviduLog::configure(kInitialDebug, kInitialLevel);
    EXPECT_TRUE(DuviduLog::willLogAtLevel(DuviduLevel::Error));
    EXPECT_TRUE(DuviduLog::willLogAtLevel(DuviduLevel::Fatal));
    EXPECT_FALSE(DuviduLog::willLogAtLevel(DuviduLevel::Warning));
}

TEST_F(DuviduLogTest, FilterMatrix)
{
    struct Row {
        bool debug;
        DuviduLevel diagnostic;
        uint64_t level;
        bool prints;
    };
    const Row rows[] = {
        {false, DuviduLevel::Debug, 5, false},  {false, DuviduLevel::None, 4, false},
        {true, DuviduLevel::Debug, 1, true},    {true, DuviduLevel::Debug, 5, true},
        {true, DuviduLevel::Debug, 0, false},   {true, DuviduLevel::None, 0, false},
        {true, DuviduLevel::None, 1, true},     {true, DuviduLevel::Warning, 2, false},
        {true, DuviduLevel::Warning, 3, true},  {true, DuviduLevel::Fatal, 4, false},
        {true, DuviduLevel::Fatal, 7, true},    {true, static_cast<DuviduLevel>(9), 7, false},
    };
    for (const auto& row : rows) {
        DuviduLog::configure(row.debug, row.diagnostic);
        EXPECT_EQ(DuviduLog::willLogAtLevel(static_cast<DuviduLevel>(row.level)), row.prints)
            << "debug " << row.debug << " diagnostic " << static_cast<uint64_t>(row.diagnostic) << " level "
            << row.level;
    }
}

TEST_F(DuviduLogTest, LinesCarryLevelNameAndSourcePrefix)
{
    DUVIDU_LOG_ERROR("Something failed.");
    DUVIDU_LOG_BARE(DuviduLevel::Warning, "Bare text.");
    DuviduLog::logWithMessage("[X:1] text", static_cast<DuviduLevel>(7));
    DuviduLog::logWithMessage("hidden", DuviduLevel::None);
    auto lines = logOutput->lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "[Duvidu] [error] [DuviduLog_test:" + std::to_string(__LINE__ - 6) + "] Something failed.");
    EXPECT_EQ(lines[1], "[Duvidu] [warning] Bare text.");
    EXPECT_EQ(lines[2], "[Duvidu] [none] [X:1] text");
}

TEST_F(DuviduLogTest, MakesADefaultOutputOnFirstUseEvenWhenFiltered)
{
    DuviduLog::setLogOutput(nullptr);
    DuviduLog::configure(false, DuviduLevel::Debug);
    DUVIDU_LOG_DEBUG("dropped");
    EXPECT_NE(DuviduLog::logOutput(), nullptr);
}

TEST_F(DuviduLogTest, SourceMessageUsesFileStem)
{
    EXPECT_EQ(DuviduLog::sourceMessage("/a/b/DuviduOptions.cpp", 312, "text"), "[DuviduOptions:312] text");
    EXPECT_EQ(DuviduLog::sourceMessage("Plain", 1, ""), "[Plain:1] ");
}

TEST(DuviduErrorTest, ConstructorsFillDomainCodeAndDescription)
{
    auto plain = errorWithCode(DuviduError::InvalidDsn, "URL scheme of DSN is missing");
    EXPECT_EQ(plain.domain(), "DuviduErrorDomain");
    EXPECT_EQ(plain.code(), 100);
    EXPECT_EQ(plain.localizedDescription(), "URL scheme of DSN is missing");
    EXPECT_EQ(plain.description(), "Error Domain=DuviduErrorDomain Code=100 \"URL scheme of DSN is missing\" "
                                   "UserInfo={NSLocalizedDescription = URL scheme of DSN is missing}");

    auto withException =
        errorWithCodeAndException(DuviduError::CompressionError, "Failed", NSException("Name", "the reason"));
    EXPECT_EQ(withException.code(), 103);
    EXPECT_EQ(withException.localizedDescription(), "Failed (the reason)");

    auto withKern = errorWithCodeAndKernReturn(DuviduError::KernelError, "task_info reported an error.", 5);
    EXPECT_EQ(withKern.code(), 109);
    EXPECT_EQ(withKern.localizedDescription(), "task_info reported an error. (KERN_FAILURE)");

    auto underlying = NSError("NSCocoaErrorDomain", 513);
    auto withUnderlying =
        errorWithCodeAndUnderlyingError(DuviduError::FileIO, "Failed to create the directory at path /x.", underlying);
    EXPECT_EQ(withUnderlying.code(), 108);
    ASSERT_TRUE(withUnderlying.userInfo().count(NSUnderlyingErrorKey));
    EXPECT_EQ(withUnderlying.userInfo().at(NSUnderlyingErrorKey).description(), underlying.description());

    auto custom = errorWithCodeAndUserInfo(DuviduError::FileIO, {{"k", 1}});
    EXPECT_EQ(custom.userInfo(), (Value::Object{{"k", 1}}));
}

TEST(DuviduErrorTest, KernReturnTextsCoverOnlyKnownCodes)
{
    EXPECT_EQ(kernReturnDescription(0), "KERN_SUCCESS");
    EXPECT_EQ(kernReturnDescription(52), "KERN_INSUFFICIENT_BUFFER_SIZE");
    EXPECT_EQ(kernReturnDescription(53), "Unknown error.");
    EXPECT_EQ(kernReturnDescription(-1), "Unknown error.");
}

TEST(NSErrorTest, BridgedAndPlainErrorsDescribeThemselves)
{
    auto bridged = NSError::bridged("Vellumcaster.RecorderError", 2, "Could not start the recording.");
    EXPECT_EQ(bridged.className(), "__SwiftNativeNSError");
    EXPECT_EQ(bridged.localizedDescription(), "Could not start the recording.");
    EXPECT_EQ(bridged.code(), 2);

    NSError plain("Some.Domain", 7);
    EXPECT_EQ(plain.className(), "NSError");
    EXPECT_FALSE(plain.nativeDescription());
    EXPECT_EQ(plain.localizedDescription(), "The operation couldn\u2019t be completed. (Some.Domain error 7.)");
}

TEST(NSExceptionTest, StdExceptionKeepsTypeAndMessage)
{
    auto exception = NSException::fromStdException(std::out_of_range("index 9"));
    EXPECT_EQ(exception.name(), "std::out_of_range");
    EXPECT_EQ(exception.reason(), "index 9");
}

}  // namespace
