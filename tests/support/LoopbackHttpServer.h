#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace vctest {

// One request as the server read it: header names in lower case, the body as sent (Content-Length bytes).
struct HttpRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers;
    std::string body;

    std::optional<std::string> header(const std::string& lowerCaseName) const {
        auto it = headers.find(lowerCaseName);
        return it == headers.end() ? std::nullopt : std::optional(it->second);
    }
};

// An HTTP server on 127.0.0.1 (a free port) for tests. Connections are served one at a time on the server's thread:
// the handler gets the socket and the request and answers as it likes; the connection is closed when it returns.
// Made `Refusing`, the port is taken but connections are refused until listen(). Everything waits with timeouts, so
// a test that goes wrong still ends.
class LoopbackHttpServer {
public:
    using Handler = std::function<void(int socket, const HttpRequest& request)>;
    enum class Start { Listening, Refusing };

    explicit LoopbackHttpServer(Handler handler, Start start = Start::Listening) : handler_(std::move(handler)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ::close(listener_);
            throw std::runtime_error("cannot bind 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
        if (start == Start::Listening) listen();
    }

    ~LoopbackHttpServer() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }

    // Starts accepting connections on the port taken at construction.
    void listen() {
        if (thread_.joinable()) return;
        if (::listen(listener_, 64) != 0) throw std::runtime_error("cannot listen on 127.0.0.1");
        thread_ = std::thread([this] { serve(); });
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::uint16_t port() const { return port_; }
    bool stopping() const { return stopping_; }
    // For a handler that never answers: returns only once the server is being destroyed.
    void waitUntilStopping() const {
        while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    static void send(int socket, const std::string& bytes) {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += std::size_t(n);
        }
    }
    // A whole response: the status line, the extra header lines (each ending in "\r\n"), the length and the body.
    static void reply(int socket, int status, const std::string& extraHeaders = "", const std::string& body = "") {
        send(socket, "HTTP/1.1 " + std::to_string(status) + " Status\r\n" + extraHeaders +
                         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    }

private:
    static std::string lowerCase(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    }
    static std::string trimmed(const std::string& text) {
        const auto begin = text.find_first_not_of(" \t");
        return begin == std::string::npos ? "" : text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
    }

    // Reads more bytes into `bytes`; false when the peer is gone or silent for 5 s.
    static bool receive(int connection, std::string& bytes) {
        pollfd readable{connection, POLLIN, 0};
        if (::poll(&readable, 1, 5000) <= 0) return false;
        char buffer[65536];
        const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        bytes.append(buffer, std::size_t(n));
        return true;
    }

    static std::optional<HttpRequest> readRequest(int connection) {
        std::string bytes;
        std::size_t headerEnd;
        while ((headerEnd = bytes.find("\r\n\r\n")) == std::string::npos) {
            if (!receive(connection, bytes)) return std::nullopt;
        }
        HttpRequest request;
        std::size_t lineEnd = bytes.find("\r\n");
        const std::string requestLine = bytes.substr(0, lineEnd);
        const auto methodEnd = requestLine.find(' ');
        const auto pathEnd = requestLine.find(' ', methodEnd + 1);
        if (methodEnd == std::string::npos || pathEnd == std::string::npos) return std::nullopt;
        request.method = requestLine.substr(0, methodEnd);
        request.path = requestLine.substr(methodEnd + 1, pathEnd - methodEnd - 1);
        while (lineEnd < headerEnd) {
            const std::size_t next = bytes.find("\r\n", lineEnd + 2);
            const std::string line = bytes.substr(lineEnd + 2, next - lineEnd - 2);
            if (const auto colon = line.find(':'); colon != std::string::npos)
                request.headers[lowerCase(trimmed(line.substr(0, colon)))] = trimmed(line.substr(colon + 1));
            lineEnd = next;
        }
        const std::size_t length = std::stoul(request.header("content-length").value_or("0"));
        while (bytes.size() - (headerEnd + 4) < length) {
            if (!receive(connection, bytes)) return std::nullopt;
        }
        request.body = bytes.substr(headerEnd + 4, length);
        return request;
    }

    void serve() {
        while (!stopping_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 100) <= 0) continue;
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) continue;
            if (auto request = readRequest(connection)) handler_(connection, *request);
            ::close(connection);
        }
    }

    Handler handler_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace vctest
