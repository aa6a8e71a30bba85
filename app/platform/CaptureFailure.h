#pragma once

#include <string>

// Why capture could not start, or why it stopped on its own.
struct CaptureFailure {
    enum class Cause {
        // The device could not be opened or went away: it is busy, gone, or refuses the format.
        deviceUnavailable,
        // The sound server is not running, did not answer in time, or the connection to it broke.
        soundServerUnreachable,
        // The system refused a thread that capture needs: the sound server was not asked.
        threadRefused,
        // Anything else: the session was not set up, or the server refused a request.
        other,
    };

    Cause cause = Cause::other;
    std::string reason;
};
