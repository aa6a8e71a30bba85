// duvidu-cli [--dsn DSN] [--release R] message TEXT: reports TEXT as a message event in a run with a session.

#include <cstdio>

#include "Commands.h"
#include "Duvidu/DuviduSDK.h"
#include "ReportingRun.h"

int messageCommand(const DuviduCliOptions& options)
{
    if (options.arguments.size() != 1) {
        std::fprintf(stderr, "usage: duvidu-cli [--dsn DSN] [--release R] message TEXT\n");
        return 2;
    }
    return reportingRun(options, [&] { return duvidu::DuviduSDK::captureMessage(options.arguments[0]); });
}
