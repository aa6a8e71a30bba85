#include "Duvidu/NSError.h"

namespace duvidu {

NSError::NSError(std::string domain, int64_t code, Value::Object userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo))
{
}

NSError NSError::bridged(std::string domain, int64_t code, std::string nativeDescription)
{
    NSError error(std::move(domain), code);
    error.nativeDescription_ = std::move(nativeDescription);
    return error;
}

std::string NSError::className() const
{
    return nativeDescription_ ? "__SwiftNativeNSError" : "NSError";
}

std::string NSError::localizedDescription() const
{
    auto it = userInfo_.find(NSLocalizedDescriptionKey);
    if (it != userInfo_.end() && it->second.isString()) return *it->second.asString();
    if (nativeDescription_) return *nativeDescription_;
    return "The operation couldn\u2019t be completed. (" + domain_ + " error " + std::to_string(code_) + ".)";
}

std::string NSError::description() const
{
    std::string text =
        "Error Domain=" + domain_ + " Code=" + std::to_string(code_) + " \"" + localizedDescription() + "\"";
    if (!userInfo_.empty()) text += " UserInfo=" + Value(userInfo_).description();
    return text;
}

}  // namespace duvidu
