#pragma once

#include <functional>

#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduSDK.h"
#include "DuviduTestSupport.h"
#include "IngestServer.h"
#include "support/TempHome.h"

namespace duvidutest {

// The SDK as the application starts it, in a home of the test's own, against a loopback ingest server; closed after
// each test.
class DuviduLoopbackTest : public DuviduTest {
protected:
    void TearDown() override
    {
        duvidu::DuviduSDK::close();
        DuviduTest::TearDown();
    }

    // The application's start: DSN, debug off, no app-hang tracking; a release, which the application takes from its
    // bundle. `more` sets what a test needs on top.
    void start(const std::function<void(duvidu::DuviduOptions&)>& more = {})
    {
        duvidu::DuviduSDK::startWithConfigureOptions([&](duvidu::DuviduOptions& options) {
            options.setDsn(server.dsn());
            options.debug = false;
            options.enableAppHangTracking = false;
            options.releaseName = "vellumcaster@1.0+7";
            if (more) more(options);
        });
    }

    vctest::TempHome home;
    IngestServer server;
};

}  // namespace duvidutest
