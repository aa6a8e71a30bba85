// The crash handler's JSON: whatever texts a crash brings (thread names, paths, messages), the report must parse, and
// the copy of the scope it carries must hold the newest breadcrumbs in order.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "DuviduCrash/Recording/DuviduCrashReportWriter.h"
#include "DuviduCrash/Recording/DuviduCrashScopeSync.h"

using duvidu::DuviduCrashReportWriter;
using duvidu::DuviduCrashScopeSync;
using nlohmann::json;

namespace {

// What the writer put into a file.
std::string written(const std::function<void(DuviduCrashReportWriter&)>& write)
{
    const int file = memfd_create("report", 0);
    {
        DuviduCrashReportWriter writer(file);
        write(writer);
        EXPECT_TRUE(writer.flush());
    }
    std::string text(static_cast<size_t>(lseek(file, 0, SEEK_END)), '\0');
    EXPECT_EQ(pread(file, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
    close(file);
    return text;
}

void setText(DuviduCrashScopeSync::Field field, const std::string& text)
{
    DuviduCrashScopeSync::setField(field, text.data(), text.size());
}

void addBreadcrumb(const std::string& text)
{
    DuviduCrashScopeSync::addBreadcrumb(text.data(), text.size());
}

json scope()
{
    return json::parse(written([](DuviduCrashReportWriter& writer) {
        writer.beginObject(nullptr);
        DuviduCrashScopeSync::writeScope(writer);
        writer.endContainer();
    }));
}

TEST(DuviduCrashReportWriter, WritesJSONThatParsesWhateverTheTextsHold)
{
    const std::string longText(10000, 'x');  // more than the writer's buffer
    const json report = json::parse(written([&](DuviduCrashReportWriter& writer) {
        writer.beginObject(nullptr);
        writer.addString("escaped", "a \"b\" \\ c\n\t\x01");
        // A stray byte, a cut sequence, a surrogate and a valid é: only the bad bytes are replaced.
        writer.addString("bad", "\xff ok \xc3 \xed\xa0\x80 \xc3\xa9");
        writer.addString("cut", "abcdef", 3);
        writer.addString("missing", nullptr);
        writer.addString("long", longText.c_str());
        writer.addInteger("lowest", INT64_MIN);
        writer.addUnsigned("highest", UINT64_MAX);
        writer.addMilli("seconds", 1500);
        writer.addMilli("negative", -25);
        writer.beginArray("list");
        writer.addBoolean(nullptr, true);
        writer.addNull(nullptr);
        writer.addJSON(nullptr, R"({"raw":[1,2]})");
        writer.addJSON(nullptr, nullptr);
        writer.beginObject(nullptr);
        writer.endContainer();
        writer.endContainer();
        writer.endContainer();
    }));
    EXPECT_EQ(report["escaped"], "a \"b\" \\ c\n\t\x01");
    EXPECT_EQ(report["bad"], "\xef\xbf\xbd ok \xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd \xc3\xa9");
    EXPECT_EQ(report["cut"], "abc");
    EXPECT_TRUE(report["missing"].is_null());
    EXPECT_EQ(report["long"], longText);
    EXPECT_EQ(report["lowest"].get<int64_t>(), INT64_MIN);
    EXPECT_EQ(report["highest"].get<uint64_t>(), UINT64_MAX);
    EXPECT_DOUBLE_EQ(report["seconds"].get<double>(), 1.5);
    EXPECT_DOUBLE_EQ(report["negative"].get<double>(), -0.025);
    EXPECT_EQ(report["list"], json::parse(R"([true, null, {"raw":[1,2]}, null, {}])"));
}

TEST(DuviduCrashScopeSync, KeepsTheNewestBreadcrumbsInOrderAndForgetsWhatIsCleared)
{
    DuviduCrashScopeSync::clear();
    DuviduCrashScopeSync::setBreadcrumbCapacity(3);
    for (int i = 1; i <= 5; ++i) addBreadcrumb(R"({"message":")" + std::to_string(i) + R"("})");
    setText(DuviduCrashScopeSync::Tags, R"({"fault":"segv"})");
    setText(DuviduCrashScopeSync::Level, R"("warning")");
    setText(DuviduCrashScopeSync::UserInfo, R"({"release":"r@1"})");

    json copy = scope();
    EXPECT_EQ(copy["breadcrumbs"], json::parse(R"([{"message":"3"},{"message":"4"},{"message":"5"}])"));
    EXPECT_EQ(copy["tags"], json::parse(R"({"fault":"segv"})"));
    EXPECT_EQ(copy["level"], "warning");
    EXPECT_FALSE(copy.contains("user_info"));  // written beside the scope, not in it

    DuviduCrashScopeSync::setField(DuviduCrashScopeSync::Level, nullptr, 0);
    DuviduCrashScopeSync::clearBreadcrumbs();
    addBreadcrumb(R"({"message":"6"})");
    copy = scope();
    EXPECT_FALSE(copy.contains("level"));
    EXPECT_EQ(copy["breadcrumbs"], json::parse(R"([{"message":"6"}])"));

    DuviduCrashScopeSync::clear();
    EXPECT_EQ(scope(), json::object());
    const json userInfo = json::parse(written([](DuviduCrashReportWriter& writer) {
        writer.beginObject(nullptr);
        DuviduCrashScopeSync::writeField(writer, DuviduCrashScopeSync::UserInfo);
        writer.endContainer();
    }));
    EXPECT_EQ(userInfo, json::parse(R"({"user_info":{"release":"r@1"}})"));
}

}  // namespace
