// The device manager against a sound server of the test's own that goes away or hangs (SIGSTOP) and comes back: the
// user's choice of microphone stays, each outage is logged once, and the look-ups share one connection.

#include "platform/AppLog.h"
#include "platform/SettingsStore.h"
#include "shell/AudioManager.h"
#include "support/PrivateSoundServer.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <cstdlib>
#include <mutex>

namespace {

using vctest::waitFor;

TEST(AudioManagerSoundServer, AServerOutOfReachChangesNoChoiceIsLoggedOnceAndTheLookUpsShareOneConnection) {
    vctest::TempHome home;
    vctest::PrivateSoundServer server(home.path() / "sound-server");
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << "the audio layer needs the PulseAudio host of scripts/test";
    const std::string sharedServer = std::getenv("PULSE_SERVER");
    ::setenv("PULSE_SERVER", server.address().c_str(), 1);
    // The connections of ours to the server, and the index the server gave the command's own: every connection gets
    // the next one, so the difference between two commands' indices is one plus the connections made between them.
    int commandIndex = -1;
    const auto clients = [&server, &commandIndex] {
        QProcess pactl;
        pactl.start(shelltest::hostProgram("pactl"), {"--server", QString::fromStdString(server.address()), "list", "short", "clients"});
        pactl.waitForFinished(10000);
        QStringList ours;
        for (const QString& line : QString::fromUtf8(pactl.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
            if (line.contains("pactl")) {
                commandIndex = line.section('\t', 0, 0).toInt();
            } else {
                ours << line.section('\t', 0, 0);
            }
        }
        return ours;
    };
    const auto startServer = [&] {
        server.start();
        ASSERT_TRUE(waitFor([&] { return !clients().isEmpty() || QProcess::execute(shelltest::hostProgram("pactl"), {"--server",
                                                                 QString::fromStdString(server.address()), "info"}) == 0; },
                            10000));
    };
    std::mutex mutex;
    std::vector<std::string> logs;  // guarded by mutex
    AppLog::setSink([&](const std::string&, const std::string& message) {
        std::lock_guard lock(mutex);
        logs.push_back(message);
    });
    const auto logged = [&](const std::string& text) {
        std::lock_guard lock(mutex);
        return std::count_if(logs.begin(), logs.end(),
                             [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };

    ASSERT_NO_FATAL_FAILURE(startServer());
    SettingsStore settings{home.config() / "vellumcaster" / "settings.json"};
    settings.setString("selectedDeviceID", "vc_restart");
    settings.setBool("useDefaultAudioDevice", false);
    AudioManager manager(settings);
    const auto tick = [&] {
        manager.tick();
        QCoreApplication::processEvents();
        ASSERT_TRUE(waitFor([&] { return !manager.isValidating(); }, 10000));
    };
    ASSERT_TRUE(waitFor([&] { return !manager.audioInputDevices().empty(); }, 10000));
    ASSERT_NO_FATAL_FAILURE(tick());
    const QStringList connection = clients();
    const int before = commandIndex;
    for (int i = 0; i < 3; ++i) ASSERT_NO_FATAL_FAILURE(tick());
    EXPECT_EQ(clients(), connection);
    EXPECT_EQ(commandIndex, before + 1) << "look-ups made connections of their own";
    EXPECT_EQ(connection.size(), 1);

    // Gone, then back; hanging, then back.
    server.stop();
    for (int i = 0; i < 3; ++i) ASSERT_NO_FATAL_FAILURE(tick());
    ASSERT_NO_FATAL_FAILURE(startServer());
    ASSERT_NO_FATAL_FAILURE(tick());
    server.suspend();
    for (int i = 0; i < 2; ++i) ASSERT_NO_FATAL_FAILURE(tick());
    server.resume();
    ASSERT_NO_FATAL_FAILURE(tick());
    EXPECT_EQ(settings.storedString("selectedDeviceID"), "vc_restart");
    EXPECT_EQ(logged("selectedDevice not available"), 0);
    EXPECT_EQ(logged("The audio input devices cannot be looked up"), 2);
    EXPECT_EQ(clients().size(), 1);
    AppLog::setSink({});
    ::setenv("PULSE_SERVER", sharedServer.c_str(), 1);
}

}  // namespace
