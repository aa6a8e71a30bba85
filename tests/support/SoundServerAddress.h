#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace vctest {

// Points PULSE_SERVER, by which this process finds its sound server, at another server while it lives (a
// PrivateSoundServer); what it pointed at before comes back after, whatever ended the test.
class SoundServerAddress {
public:
    explicit SoundServerAddress(const std::string& address) {
        if (const char* before = std::getenv("PULSE_SERVER")) before_ = before;
        ::setenv("PULSE_SERVER", address.c_str(), 1);
    }
    ~SoundServerAddress() {
        if (before_) {
            ::setenv("PULSE_SERVER", before_->c_str(), 1);
        } else {
            ::unsetenv("PULSE_SERVER");
        }
    }
    SoundServerAddress(const SoundServerAddress&) = delete;
    SoundServerAddress& operator=(const SoundServerAddress&) = delete;

private:
    std::optional<std::string> before_;
};

}  // namespace vctest
