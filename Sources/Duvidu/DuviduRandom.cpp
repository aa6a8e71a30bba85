#include "Duvidu/DuviduRandom.h"

#include <cstdlib>
#include <ctime>
#include <mutex>

namespace duvidu {

namespace {
// The generator's state is process-wide and drand48 is not thread-safe.
std::mutex& generatorMutex()
{
    static std::mutex mutex;
    return mutex;
}
}  // namespace

DuviduRandom::DuviduRandom()
{
    std::lock_guard lock(generatorMutex());
    srand48(static_cast<long>(std::time(nullptr)));
}

double DuviduRandom::nextNumber()
{
    std::lock_guard lock(generatorMutex());
    return drand48();
}

}  // namespace duvidu
