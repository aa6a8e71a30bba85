#include "DuviduCliOptions.h"

std::optional<DuviduCliOptions> DuviduCliOptions::parse(int argc, char** argv, std::string& error)
{
    DuviduCliOptions options;
    const std::pair<std::string, std::optional<std::string>*> shared[] = {
        {"--dsn", &options.dsn},
        {"--release", &options.release},
        {"--dist", &options.dist},
        {"--environment", &options.environment},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        bool taken = false;
        for (const auto& [name, slot] : shared) {
            if (argument == name) {
                if (i + 1 >= argc) {
                    error = name + " needs a value";
                    return std::nullopt;
                }
                *slot = argv[++i];
                taken = true;
            } else if (argument.rfind(name + "=", 0) == 0) {
                *slot = argument.substr(name.size() + 1);
                taken = true;
            }
        }
        if (taken) continue;
        if (!options.command.empty()) {
            options.arguments.push_back(argument);
        } else if (argument.rfind("--", 0) == 0) {
            error = "unknown option " + argument;
            return std::nullopt;
        } else {
            options.command = argument;
        }
    }
    if (options.command.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    return options;
}

std::shared_ptr<duvidu::DuviduOptions> DuviduCliOptions::sdkOptions() const
{
    auto options = std::make_shared<duvidu::DuviduOptions>();
    if (dsn) options->setDsn(*dsn);
    if (release) options->releaseName = *release;
    if (dist) options->dist = *dist;
    if (environment) options->environment = *environment;
    return options;
}
