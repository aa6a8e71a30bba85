#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "Duvidu/Value.h"

namespace duvidu {

// The HTTP request an event is about. A request may be changed on one thread while an event that holds it is
// written on another, so every field is read and written under the request's own lock.
class DuviduRequest {
public:
    // ObjC: -[DuviduRequest init] — every field absent.
    DuviduRequest() = default;
    DuviduRequest(const DuviduRequest& other);
    DuviduRequest& operator=(const DuviduRequest& other);

    std::optional<uint64_t> bodySize() const;
    void setBodySize(std::optional<uint64_t> bodySize);
    std::optional<std::string> cookies() const;
    void setCookies(std::optional<std::string> cookies);
    std::optional<Value::Object> headers() const;
    void setHeaders(std::optional<Value::Object> headers);
    std::optional<std::string> fragment() const;
    void setFragment(std::optional<std::string> fragment);
    std::optional<std::string> method() const;
    void setMethod(std::optional<std::string> method);
    std::optional<std::string> queryString() const;
    void setQueryString(std::optional<std::string> queryString);
    std::optional<std::string> url() const;
    void setUrl(std::optional<std::string> url);

    // "body_size" (only when not 0), "cookies", "fragment", "headers" (sanitized), "method", "query_string", "url".
    Value::Object serialize() const;

private:
    struct Fields {
        std::optional<uint64_t> bodySize;
        std::optional<std::string> cookies;
        std::optional<Value::Object> headers;
        std::optional<std::string> fragment;
        std::optional<std::string> method;
        std::optional<std::string> queryString;
        std::optional<std::string> url;
    };
    Fields fields() const;

    mutable std::mutex mutex_;
    Fields fields_;
};

}  // namespace duvidu
