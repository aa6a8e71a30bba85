#include "Duvidu/DuviduDsn.h"

#include <cctype>
#include <charconv>

#include "Duvidu/DuviduError.h"
#include "Duvidu/DuviduPercentDecoding.h"

namespace duvidu {

namespace {

std::nullptr_t fail(NSError* error, const char* description)
{
    if (error) *error = errorWithCode(DuviduError::InvalidDsn, description);
    return nullptr;
}

bool isTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Characters a URL may hold as they stand (RFC 3986 unreserved, reserved and '%'); anything else makes the text
// no URL at all.
bool isUrlCharacter(unsigned char c)
{
    if (std::isalnum(c)) return true;
    static const std::string allowed = "-._~:/?#[]@!$&'()*+,;=%";
    return allowed.find(static_cast<char>(c)) != std::string::npos;
}

}  // namespace

std::shared_ptr<DuviduDsn> DuviduDsn::initWithString(const std::string& string, NSError* error)
{
    size_t first = 0, last = string.size();
    while (first < last && isTrimmed(string[first])) ++first;
    while (last > first && isTrimmed(string[last - 1])) --last;
    const std::string text = string.substr(first, last - first);

    constexpr const char* kSchemeMissing = "URL scheme of DSN is missing";
    for (unsigned char c : text) {
        if (!isUrlCharacter(c)) return fail(error, kSchemeMissing);
    }
    // The scheme: a letter, then letters, digits, "+", "-" or ".", up to the first ":".
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return fail(error, kSchemeMissing);
    for (size_t i = 1; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return fail(error, kSchemeMissing);
    }
    auto dsn = std::make_shared<DuviduDsn>();
    dsn->url_ = text;
    dsn->scheme_ = text.substr(0, colon);
    if (dsn->scheme_ != "http" && dsn->scheme_ != "https") return fail(error, "Unrecognized URL scheme in DSN");

    std::string_view rest = std::string_view(text).substr(colon + 1);
    std::string_view authority;
    std::string_view path;
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        size_t end = rest.find_first_of("/?#");
        authority = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    path = rest.substr(0, rest.find_first_of("?#"));

    std::string_view userInfo;
    std::string_view hostPort = authority;
    if (auto at = authority.rfind('@'); at != std::string_view::npos) {
        userInfo = authority.substr(0, at);
        hostPort = authority.substr(at + 1);
    }
    std::string_view host = hostPort;
    std::string_view portText;
    if (!hostPort.empty() && hostPort.front() == '[') {
        size_t close = hostPort.find(']');
        if (close == std::string_view::npos) return fail(error, "Host component of DSN is missing");
        host = hostPort.substr(0, close + 1);
        if (close + 1 < hostPort.size()) {
            if (hostPort[close + 1] != ':') return fail(error, "Host component of DSN is missing");
            portText = hostPort.substr(close + 2);
        }
    } else if (auto portColon = hostPort.rfind(':'); portColon != std::string_view::npos) {
        host = hostPort.substr(0, portColon);
        portText = hostPort.substr(portColon + 1);
    }
    if (host.empty()) return fail(error, "Host component of DSN is missing");
    dsn->host_ = std::string(host);
    if (!portText.empty()) {
        int64_t port = 0;
        auto result = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        // Text that is no number leaves the URL without a host; a number outside 1 to 65535 ("-1", "0", "65536")
        // names no place to send to.
        if (result.ptr != portText.data() + portText.size() ||
            (result.ec != std::errc() && result.ec != std::errc::result_out_of_range))
            return fail(error, "Host component of DSN is missing");
        if (result.ec == std::errc::result_out_of_range || port < 1 || port > 65535)
            return fail(error, "Port component of DSN is out of range");
        dsn->port_ = static_cast<int>(port);
    }

    std::string_view user = userInfo.substr(0, userInfo.find(':'));
    auto publicKey = duvidu_percentDecoded(user);
    if (!publicKey || publicKey->empty()) return fail(error, "User component of DSN is missing");
    dsn->publicKey_ = *publicKey;
    if (auto secretColon = userInfo.find(':'); secretColon != std::string_view::npos) {
        dsn->secretKey_ = duvidu_percentDecoded(userInfo.substr(secretColon + 1));
    }

    // Path components as the platform counts them: "/" is one, so a project id needs at least two.
    std::string_view trimmedPath = path;
    while (!trimmedPath.empty() && trimmedPath.back() == '/') trimmedPath.remove_suffix(1);
    size_t lastSlash = trimmedPath.rfind('/');
    if (path.empty() || path.front() != '/' || trimmedPath.empty() || lastSlash == std::string_view::npos)
        return fail(error, "Project ID path component of DSN is missing");
    dsn->path_ = std::string(path);
    dsn->projectId_ = std::string(trimmedPath.substr(lastSlash + 1));
    return dsn;
}

std::string DuviduDsn::getEnvelopeEndpoint() const
{
    std::string_view trimmedPath = path_;
    while (!trimmedPath.empty() && trimmedPath.back() == '/') trimmedPath.remove_suffix(1);
    std::string endpoint = scheme_ + "://" + host_;
    if (port_) {
        endpoint += ':';
        endpoint += std::to_string(*port_);
    }
    endpoint.append(trimmedPath.substr(0, trimmedPath.rfind('/') + 1));
    return endpoint + "api/" + projectId_ + "/envelope/";
}

}  // namespace duvidu
