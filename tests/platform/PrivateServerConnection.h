#pragma once

#include "platform/SharedPulseConnection.h"

#include "support/PrivateSoundServer.h"
#include "support/SoundServerAddress.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <memory>

// A sound server of the test's own, started, that this process reaches while the object lives, and a shared
// connection to it.
struct PrivateServerConnection {
    PrivateServerConnection() { server.start(); }

    // Whether the server answers on the connection within 10 s.
    bool answers() const {
        return vctest::waitFor([this] { return !connection->use([](PulseConnection&) {}); }, 10000);
    }

    vctest::TempHome home;
    vctest::PrivateSoundServer server{home.path() / "sound-server"};
    vctest::SoundServerAddress address{server.address()};
    std::shared_ptr<SharedPulseConnection> connection = std::make_shared<SharedPulseConnection>();
};
