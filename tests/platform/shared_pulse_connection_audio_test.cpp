// The connection that the device look-ups, the sounds and the playbacks share, on a sound server of the test's own that
// hangs (SIGSTOP): a look-up behind another that the server holds up fails as soon as one asked alone would.

#include "platform/PulseCaptureBackend.h"

#include "PrivateServerConnection.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using vctest::waitFor;

TEST(SharedPulseConnection, ALookUpBehindAnotherThatAHangingServerHoldsUpFailsWithinItsOwnSecond) {
    PrivateServerConnection own;
    ASSERT_TRUE(own.answers()) << "the server did not start";
    vctest::PrivateSoundServer& server = own.server;
    const std::shared_ptr<SharedPulseConnection>& connection = own.connection;
    PulseCaptureBackend backend(connection);
    ASSERT_TRUE(backend.defaultDevice().device);

    // A periodic check's look-up holds the connection while it waits for the server, as long as the server lets it.
    server.suspend();
    std::atomic<bool> checking = false;
    std::atomic<bool> checked = false;
    std::thread check([&] {
        connection->use([&](PulseConnection& asked) {
            checking = true;
            asked.inputSources();
            asked.inputSources();
        });
        checked = true;
    });
    ASSERT_TRUE(waitFor([&] { return checking.load(); }, 10000));
    ASSERT_FALSE(checked) << "the check did not hold the connection when the press's look-up began";

    QElapsedTimer clock;
    clock.start();
    const CaptureBackend::Lookup press = backend.defaultDevice();
    const qint64 took = clock.elapsed();
    EXPECT_FALSE(press.device);
    EXPECT_TRUE(press.unreachable);
    EXPECT_LT(took, 1800) << "the look-up waited behind the check";
    check.join();
    server.resume();
    EXPECT_TRUE(waitFor([&] { return backend.defaultDevice().device.has_value(); }, 10000));
}

}  // namespace
