#pragma once

#include <string>

// A capture device as the sound server lists it. `uniqueID` is stable across sessions (the server's source name).
struct CaptureDevice {
    std::string uniqueID;
    std::string localizedName;
};
