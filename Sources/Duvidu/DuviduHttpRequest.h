#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Duvidu/DuviduData.h"

namespace duvidu {

// One POST to the service: where, with which header fields, and the body as it goes on the wire.
struct DuviduHttpRequest {
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    DuviduData body;
};

}  // namespace duvidu
