#pragma once

#include <string>

namespace duvidu {

// A time zone, known by its name ("Europe/Berlin").
class NSTimeZone {
public:
    explicit NSTimeZone(std::string name) : name_(std::move(name)) {}
    // The zone the system is set to, as the C library finds it: the TZ variable (without a leading ":" and, for a
    // path into the zone database, the part after "zoneinfo/"), else the zone that /etc/localtime links to, else
    // the first line of /etc/timezone, else "UTC". The folder of both files can be changed for tests.
    static NSTimeZone systemTimeZone(const std::string& etcFolder = "/etc");

    const std::string& name() const { return name_; }

private:
    std::string name_;
};

}  // namespace duvidu
