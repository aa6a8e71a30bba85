#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduOptions.h"

// What every duvidu-cli command shares: the options before or after the command name, the command and its own
// arguments.
struct DuviduCliOptions {
    // --dsn DSN; the SDK's options fall back to DUVIDU_DSN without it.
    std::optional<std::string> dsn;
    // --release NAME, --dist NAME, --environment NAME
    std::optional<std::string> release;
    std::optional<std::string> dist;
    std::optional<std::string> environment;
    std::string command;
    // Everything after the command that is not a shared option, in order.
    std::vector<std::string> arguments;

    // nullopt, with the reason in error, when a shared option lacks its value or no command is given.
    static std::optional<DuviduCliOptions> parse(int argc, char** argv, std::string& error);

    // The SDK's options with the DSN, release, dist and environment given here.
    std::shared_ptr<duvidu::DuviduOptions> sdkOptions() const;
};
