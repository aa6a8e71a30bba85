#include "Duvidu/DuviduMechanismMeta.h"

#include "Duvidu/DuviduSanitize.h"

namespace duvidu {

Value::Object DuviduMechanismMeta::serialize() const
{
    Value::Object json;
    if (signal) json["signal"] = duvidu_sanitize(*signal);
    if (machException) json["mach_exception"] = duvidu_sanitize(*machException);
    if (error) json["ns_error"] = error->serialize();
    return json;
}

}  // namespace duvidu
