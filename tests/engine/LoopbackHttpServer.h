#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

namespace enginetest {

// An HTTP server on 127.0.0.1 (a free port) for download tests. Connections are served one at a time on the
// server's thread: the handler gets the socket and the request path and answers as it likes; the connection is
// closed when it returns. Everything waits with timeouts, so a test that goes wrong still ends.
class LoopbackHttpServer {
public:
    using Handler = std::function<void(int socket, const std::string& path)>;

    explicit LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 8) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ::close(listener_);
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    ~LoopbackHttpServer() {
        stopping_ = true;
        thread_.join();
        ::close(listener_);
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    bool stopping() const { return stopping_; }

    static void send(int socket, const std::string& bytes) {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += std::size_t(n);
        }
    }

private:
    void serve() {
        while (!stopping_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 100) <= 0) continue;
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) continue;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                pollfd readable{connection, POLLIN, 0};
                if (::poll(&readable, 1, 5000) <= 0) break;
                const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                request.append(buffer, std::size_t(n));
            }
            const auto start = request.find(' ');
            const auto end = request.find(' ', start + 1);
            if (start != std::string::npos && end != std::string::npos) {
                handler_(connection, request.substr(start + 1, end - start - 1));
            }
            ::close(connection);
        }
    }

    Handler handler_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace enginetest
