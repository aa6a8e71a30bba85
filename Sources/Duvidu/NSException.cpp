#include "Duvidu/NSException.h"

#include "Duvidu/SwiftDescriptor.h"

namespace duvidu {

NSException::NSException(std::string name, std::string reason, Value::Object userInfo)
    : name_(std::move(name)), reason_(std::move(reason)), userInfo_(std::move(userInfo))
{
}

NSException NSException::fromStdException(const std::exception& exception)
{
    return NSException(SwiftDescriptor::getObjectClassName(exception), exception.what());
}

}  // namespace duvidu
