#include "CommandLine.h"

#include <cstdlib>

std::optional<CommandLine> CommandLine::parse(int argc, char** argv)
{
    CommandLine line;
    if (const char* fromEnvironment = std::getenv("DUVIDU_DSN"); fromEnvironment && *fromEnvironment)
        line.dsn = fromEnvironment;
    int i = 1;
    for (; i < argc && std::string(argv[i]).rfind("--", 0) == 0; ++i) {
        const std::string option = argv[i];
        if (option == "--dsn" && i + 1 < argc) {
            line.dsn = argv[++i];
        } else if (option.rfind("--dsn=", 0) == 0) {
            line.dsn = option.substr(6);
        } else {
            return std::nullopt;
        }
    }
    if (i == argc) return std::nullopt;
    line.command = argv[i];
    line.arguments.assign(argv + i + 1, argv + argc);
    return line;
}
