#pragma once

#include "Duvidu/DuviduRandomProtocol.h"

namespace duvidu {

// The process's 48-bit generator (drand48). Every new instance reseeds it with the current second.
class DuviduRandom : public DuviduRandomProtocol {
public:
    DuviduRandom();
    double nextNumber() override;
};

}  // namespace duvidu
