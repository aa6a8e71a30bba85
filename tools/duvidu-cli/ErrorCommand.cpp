// duvidu-cli [--dsn DSN] [--release R] error DOMAIN CODE DESCRIPTION: reports an error of that domain and code, with
// the description as its localized description, in a run with a session.

#include <cstdio>
#include <string>

#include "Commands.h"
#include "Duvidu/DuviduSDK.h"
#include "ReportingRun.h"

using namespace duvidu;

int errorCommand(const DuviduCliOptions& options)
{
    const auto& arguments = options.arguments;
    int64_t code = 0;
    size_t used = 0;
    try {
        if (arguments.size() == 3) code = std::stoll(arguments[1], &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (arguments.size() != 3 || used == 0 || used != arguments[1].size()) {
        std::fprintf(stderr, "usage: duvidu-cli [--dsn DSN] [--release R] error DOMAIN CODE DESCRIPTION\n");
        return 2;
    }
    NSError error(arguments[0], code, {{NSLocalizedDescriptionKey, arguments[2]}});
    return reportingRun(options, [&] { return DuviduSDK::captureError(error); });
}
