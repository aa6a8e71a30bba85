#pragma once

#include <string>

namespace duvidu {

// A constant text naming a kernel return code: one per code 0 to 52, "Unknown error." for every other code.
std::string kernReturnDescription(int kernReturn);

}  // namespace duvidu
