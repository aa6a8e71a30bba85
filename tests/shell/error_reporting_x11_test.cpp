// Error reporting of the application binary, against a loopback stand-in for the reporting service named by
// DUVIDU_DSN: with error logging on, a session and the application's own errors arrive, and a crash arrives at the
// next start; with it off, nothing is sent and the SDK keeps nothing on disk.

#include "AppProcess.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"

#include "Duvidu/DuviduSerialization.h"
#include "duvidu/IngestServer.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using duvidu::Value;
using duvidutest::IngestServer;
using shelltest::AppProcess;
using shelltest::waitFor;

namespace {

// One item of an envelope the server received: its type and JSON, and the JSON of the envelope's other items.
struct Item {
    std::string type;
    Value::Object json;
    std::map<std::string, Value::Object> siblings;
};

std::string text(const Value::Object& object, const std::string& key) {
    auto it = object.find(key);
    return it != object.end() && it->second.isString() ? *it->second.asString() : "";
}

class ErrorReportingTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the x11 layer needs an X server: run under scripts/test";
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
    }

    void setErrorLogging(bool enabled) {
        SettingsStore settings(SettingsStore::standardFile());
        settings.setBool("errorLoggingEnabled", enabled);
    }

    void launch(AppProcess& app) {
        app.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
        app.setEnvironment("DUVIDU_DSN", QString::fromStdString(server.dsn()));
        ASSERT_TRUE(app.start());
    }

    std::vector<Item> items() {
        std::vector<Item> found;
        for (const auto& request : server.requests()) {
            auto envelope = duvidu::DuviduSerialization::envelopeWithData(IngestServer::inflate(request.body));
            if (!envelope) continue;
            std::map<std::string, Value::Object> all;
            for (const auto& item : envelope->items()) {
                auto json = duvidu::DuviduSerialization::JSONObjectWithData(item.data().data(), item.data().size());
                if (json && json->isObject()) all[item.header()->type()] = *json->asObject();
            }
            for (const auto& [type, json] : all) found.push_back({type, json, all});
        }
        return found;
    }

    // Waits until an item of the type passes the test.
    std::optional<Item> waitForItem(const std::string& type, const std::function<bool(const Item&)>& test) {
        std::optional<Item> match;
        waitFor(
            [&] {
                for (const auto& item : items()) {
                    if (item.type == type && test(item)) match = item;
                }
                return match.has_value();
            },
            30000);
        return match;
    }

    vctest::TempHome home;
    fs::path runtime = home.path() / "runtime";
    IngestServer server;
};

TEST_F(ErrorReportingTest, WithErrorLoggingOnSessionsErrorsAndACrashArrive) {
    setErrorLogging(true);
    {
        AppProcess app;
        // The models folder cannot be made where a file stands in the way: an application error at start-up.
        std::ofstream(home.path() / "blocked") << "a file, not a folder";
        app.setEnvironment("XDG_DATA_HOME", QString::fromStdString((home.path() / "blocked/share").string()));
        // A build under AddressSanitizer: its own SIGSEGV handler would end the process with an exit code.
        app.setEnvironment("ASAN_OPTIONS", "detect_leaks=0:handle_segv=0");
        launch(app);
        auto session = waitForItem("session", [](const Item& item) { return text(item.json, "status") == "ok"; });
        EXPECT_TRUE(session) << app.log.toStdString();
        auto error = waitForItem("event", [](const Item& item) {
            return text(item.json, "level") == "error" && item.json.count("exception");
        });
        ASSERT_TRUE(error) << app.log.toStdString();
        EXPECT_EQ(text(error->json, "release"), VC_APP_RELEASE);

        ::kill(pid_t(app.process.processId()), SIGSEGV);
        ASSERT_TRUE(waitFor([&] { return app.process.state() == QProcess::NotRunning; }, 15000));
        EXPECT_EQ(app.process.exitStatus(), QProcess::CrashExit);
    }

    AppProcess again;
    launch(again);
    auto crash = waitForItem("event", [](const Item& item) { return text(item.json, "level") == "fatal"; });
    ASSERT_TRUE(crash) << again.log.toStdString();
    const auto& exceptions = *crash->json.at("exception").asObject()->at("values").asArray();
    ASSERT_EQ(exceptions.size(), 1u);
    EXPECT_EQ(text(*exceptions[0].asObject(), "type"), "SIGSEGV");
    ASSERT_TRUE(crash->siblings.count("session"));
    EXPECT_EQ(text(crash->siblings.at("session"), "status"), "crashed");

    // Quit ends this run's session as exited and closes the SDK.
    ::kill(pid_t(again.process.processId()), SIGTERM);
    EXPECT_TRUE(again.endsWithStatusZero(30000)) << again.log.toStdString();
    EXPECT_TRUE(waitForItem("session", [](const Item& item) { return text(item.json, "status") == "exited"; }));
}

TEST_F(ErrorReportingTest, WithErrorLoggingOffNothingIsSentOrKept) {
    setErrorLogging(false);
    AppProcess app;
    launch(app);
    // Start-up has passed the telemetry step once the status icon is set.
    ASSERT_TRUE(waitFor([&] { return !app.lastImage().isEmpty(); }, 30000)) << app.log.toStdString();
    ::kill(pid_t(app.process.processId()), SIGTERM);
    EXPECT_TRUE(app.endsWithStatusZero(30000)) << app.log.toStdString();
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_FALSE(fs::exists(home.cache() / "duvidu"));
}

}  // namespace
