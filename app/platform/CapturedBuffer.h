#pragma once

#include <cstdint>
#include <span>

#include "platform/CaptureFormat.h"

// One block of audio as the capture device delivered it. `data` is only valid during the call that hands the buffer
// over; a buffer without a data block has a null `data`. `frameCount` is what the device reports and is not checked
// against the size of `data`.
struct CapturedBuffer {
    CaptureFormat format;
    std::int64_t frameCount = 0;
    std::span<const unsigned char> data;
};
