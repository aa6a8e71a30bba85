// duvidu-cli [--dsn DSN] [--release NAME] [--dist NAME] [--environment NAME] COMMAND [ARGUMENTS]: developer commands
// over the error-reporting SDK.

#include <cstdio>
#include <string>

#include "Commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const DuviduCliOptions&);
    const char* usage;
};

// One line per command, in alphabetical order.
const Command kCommands[] = {
    {"crash", crashCommand, "crash KIND              crash in a run with a session: segv, abort, terminate, overflow, trap"},
    {"envelope", envelopeCommand, "envelope FILE           store an envelope file in the cache and send the cache"},
    {"error", errorCommand, "error DOMAIN CODE TEXT  report an error in a run with a session, print its id"},
    {"flush", flushCommand, "flush                   send earlier runs' crashes and what the cache holds"},
    {"message", messageCommand, "message TEXT            report a message in a run with a session, print its id"},
    {"threads", threadsCommand, "threads [--workers N]   the threads with stacks and debug images, as JSON"},
};

int usage(const std::string& problem)
{
    std::fprintf(stderr,
                 "duvidu-cli: %s\nusage: duvidu-cli [--dsn DSN] [--release NAME] [--dist NAME] [--environment NAME] "
                 "COMMAND [ARGUMENTS]\n",
                 problem.c_str());
    for (const auto& command : kCommands) std::fprintf(stderr, "  %s\n", command.usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string error;
    auto options = DuviduCliOptions::parse(argc, argv, error);
    if (!options) return usage(error);
    for (const auto& command : kCommands) {
        if (options->command == command.name) return command.run(*options);
    }
    return usage("unknown command " + options->command);
}
