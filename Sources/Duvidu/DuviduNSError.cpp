#include "Duvidu/DuviduNSError.h"

namespace duvidu {

DuviduNSError::DuviduNSError(std::string domain, int64_t code) : domain(std::move(domain)), code(code) {}

Value::Object DuviduNSError::serialize() const
{
    return {{"domain", domain}, {"code", code}};
}

}  // namespace duvidu
