// duvidu-cli: developer commands of the error-reporting SDK. The DSN comes from --dsn or DUVIDU_DSN.
//
//   duvidu-cli [--dsn DSN] envelope FILE   store an envelope file in the cache and send the cache
//   duvidu-cli [--dsn DSN] flush           send what the cache holds
//
// The delivering commands wait at most 5 s and exit 0 when the cache is empty afterwards, 1 when something is kept
// for later, 2 on a usage error.

#include <cstdio>
#include <map>
#include <string>

#include "CommandLine.h"

namespace {

const std::map<std::string, int (*)(const CommandLine&)>& commands()
{
    static const std::map<std::string, int (*)(const CommandLine&)> table = {
        {"envelope", envelopeCommand},
        {"flush", flushCommand},
    };
    return table;
}

int usage()
{
    std::fprintf(stderr, "usage: duvidu-cli [--dsn DSN] <command> [arguments]\ncommands:");
    for (const auto& [name, command] : commands()) std::fprintf(stderr, " %s", name.c_str());
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    auto line = CommandLine::parse(argc, argv);
    if (!line) return usage();
    auto command = commands().find(line->command);
    if (command == commands().end()) return usage();
    return command->second(*line);
}
