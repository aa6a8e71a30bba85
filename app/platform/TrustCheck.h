#pragma once

#include <functional>

// Whether this session lets the application type into other applications (the synthetic paste): an X11 display is
// reachable and it offers the XTEST extension. A Wayland session without XWayland, or a display without XTEST, is
// not trusted. Tests replace the probe.
class TrustCheck {
public:
    using Probe = std::function<bool()>;

    explicit TrustCheck(Probe probe = displayHasXTest) : probe_(std::move(probe)) {}

    bool isTrusted() const { return probe_(); }

    // Opens the display named by $DISPLAY and asks for XTEST.
    static bool displayHasXTest();

private:
    Probe probe_;
};
