#pragma once

#include <optional>
#include <string>
#include <vector>

// The parts of a duvidu-cli command line: the options every command shares, the command and its own arguments.
struct CommandLine {
    // From --dsn, else from DUVIDU_DSN when set and not empty.
    std::optional<std::string> dsn;
    std::string command;
    std::vector<std::string> arguments;

    // nullopt when the line is malformed (an option without its value, an unknown option, no command).
    static std::optional<CommandLine> parse(int argc, char** argv);
};

// Each command: the exit status.
int envelopeCommand(const CommandLine& line);
int flushCommand(const CommandLine& line);
