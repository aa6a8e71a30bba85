#pragma once

#include <optional>
#include <string>
#include <vector>

// A capture device as the sound server lists it. `uniqueID` is stable across sessions (the server's source name).
struct CaptureDevice {
    std::string uniqueID;
    std::string localizedName;
};

// The capture devices as the sound server lists them, in its order; when it could not be asked (it is not running, did
// not answer, or the system refused a thread to ask it), why.
struct CaptureDeviceList {
    std::vector<CaptureDevice> devices;
    std::optional<std::string> unreachable;
};
