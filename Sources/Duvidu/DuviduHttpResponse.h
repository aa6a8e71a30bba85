#pragma once

#include <map>
#include <optional>
#include <string>

namespace duvidu {

// The service's answer: its status code and its header fields, names in lower case.
struct DuviduHttpResponse {
    long statusCode = 0;
    std::map<std::string, std::string> headers;

    std::optional<std::string> header(const std::string& lowerCaseName) const
    {
        auto it = headers.find(lowerCaseName);
        return it == headers.end() ? std::nullopt : std::optional(it->second);
    }
};

}  // namespace duvidu
