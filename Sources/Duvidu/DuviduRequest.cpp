#include "Duvidu/DuviduRequest.h"

#include "Duvidu/DuviduMutableDictionary.h"
#include "Duvidu/DuviduSanitize.h"

namespace duvidu {

DuviduRequest::DuviduRequest(const DuviduRequest& other) : fields_(other.fields()) {}

DuviduRequest& DuviduRequest::operator=(const DuviduRequest& other)
{
    if (this != &other) {
        auto copied = other.fields();
        std::lock_guard lock(mutex_);
        fields_ = std::move(copied);
    }
    return *this;
}

DuviduRequest::Fields DuviduRequest::fields() const
{
    std::lock_guard lock(mutex_);
    return fields_;
}

#define DUVIDU_REQUEST_FIELD(type, getter, setter, member)  \
    std::optional<type> DuviduRequest::getter() const      \
    {                                                      \
        std::lock_guard lock(mutex_);                      \
        return fields_.member;                             \
    }                                                      \
    void DuviduRequest::setter(std::optional<type> value)  \
    {                                                      \
        std::lock_guard lock(mutex_);                      \
        fields_.member = std::move(value);                 \
    }
DUVIDU_REQUEST_FIELD(uint64_t, bodySize, setBodySize, bodySize)
DUVIDU_REQUEST_FIELD(std::string, cookies, setCookies, cookies)
DUVIDU_REQUEST_FIELD(Value::Object, headers, setHeaders, headers)
DUVIDU_REQUEST_FIELD(std::string, fragment, setFragment, fragment)
DUVIDU_REQUEST_FIELD(std::string, method, setMethod, method)
DUVIDU_REQUEST_FIELD(std::string, queryString, setQueryString, queryString)
DUVIDU_REQUEST_FIELD(std::string, url, setUrl, url)
#undef DUVIDU_REQUEST_FIELD

Value::Object DuviduRequest::serialize() const
{
    auto f = fields();
    Value::Object json;
    // A body of exactly 4 GiB is not empty: the whole size is tested, not its low 32 bits.
    if (f.bodySize && *f.bodySize != 0) json["body_size"] = *f.bodySize;
    setValueIfPresent(json, "cookies", f.cookies);
    setValueIfPresent(json, "fragment", f.fragment);
    if (f.headers) json["headers"] = duvidu_sanitize(*f.headers);
    setValueIfPresent(json, "method", f.method);
    setValueIfPresent(json, "query_string", f.queryString);
    setValueIfPresent(json, "url", f.url);
    return json;
}

}  // namespace duvidu
