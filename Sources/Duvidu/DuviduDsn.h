#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Duvidu/NSError.h"

namespace duvidu {

// A parsed DSN: "<scheme>://<public key>[:<secret>]@<host>[:<port>]/[<path>/]<project id>".
class DuviduDsn {
public:
    // Trims white space and line ends, then parses. On failure gives nullptr and, when a slot is given, an SDK error
    // of code 100 naming what is missing (or that the port is out of range).
    static std::shared_ptr<DuviduDsn> initWithString(const std::string& string, NSError* error = nullptr);

    // The trimmed text.
    const std::string& url() const { return url_; }
    const std::string& scheme() const { return scheme_; }
    const std::string& host() const { return host_; }
    const std::optional<int>& port() const { return port_; }
    const std::string& publicKey() const { return publicKey_; }
    const std::optional<std::string>& secretKey() const { return secretKey_; }
    // The path, starting with "/".
    const std::string& path() const { return path_; }
    // The last path component.
    const std::string& projectId() const { return projectId_; }
    // Where envelopes are posted: the scheme, host and port, the path up to the project id, then
    // "api/<project id>/envelope/".
    std::string getEnvelopeEndpoint() const;

private:
    std::string url_, scheme_, host_, publicKey_, path_, projectId_;
    std::optional<int> port_;
    std::optional<std::string> secretKey_;
};

}  // namespace duvidu
