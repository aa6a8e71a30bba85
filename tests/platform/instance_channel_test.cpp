// The instance channel when its socket cannot be made, when an accept fails for want of descriptors, and against a peer
// that holds idle connections. The burst of connections itself is driven against the application binary (tests/shell).

#include "platform/InstanceChannel.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "engine/CapturedLog.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;

namespace {

// A local peer that holds `count` idle connections to the socket, sending nothing on them, and opens a new one
// whenever one of them is closed, until it is destroyed.
class IdlePeer {
public:
    IdlePeer(const fs::path& socket, std::size_t count) : thread_([this, socket, count] { run(socket, count); }) {}
    ~IdlePeer() {
        stop_ = true;
        thread_.join();
    }

    int made() const { return made_; }

private:
    void run(const fs::path& socket, std::size_t count) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof(address.sun_path) - 1);
        std::vector<pollfd> held;
        while (!stop_) {
            while (held.size() < count) {
                const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
                    ::close(fd);  // the listener's queue is full for the moment
                    break;
                }
                held.push_back({fd, POLLIN, 0});
                ++made_;
            }
            ::poll(held.data(), held.size(), 20);
            std::erase_if(held, [](const pollfd& connection) {
                char byte;
                if (connection.revents == 0 || ::read(connection.fd, &byte, 1) > 0) return false;
                ::close(connection.fd);
                return true;
            });
        }
        for (const pollfd& connection : held) ::close(connection.fd);
    }

    std::atomic<bool> stop_{false};
    std::atomic<int> made_{0};
    std::thread thread_;
};

class InstanceChannelTest : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(socket.parent_path()); }

    vctest::TempHome home;
    fs::path socket = home.path() / "runtime" / "vellumcaster.socket";
    InstanceChannel channel{socket, [](const std::string& request) { return "answer to " + request; }};
};

TEST_F(InstanceChannelTest, AFolderInTheSocketsPlaceIsNamedInTheLog) {
    fs::create_directories(socket);
    const capturetest::CapturedLog log;
    EXPECT_FALSE(channel.listen());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines().front(), "Cannot listen on " + socket.string() +
                                       " for a second start: a folder is in the socket's place; remove it, then "
                                       "start Vellumcaster again");
    EXPECT_TRUE(fs::is_directory(socket)) << "the folder was not the channel's to remove";
}

TEST_F(InstanceChannelTest, ListensAgainOnceAnAcceptThatFoundNoDescriptorLeftClosedTheServer) {
    ASSERT_TRUE(channel.listen());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof(address.sun_path) - 1);
    const int peer = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ASSERT_GE(peer, 0);

    // This process's descriptors used up under a low limit: the accept of the peer's connection fails.
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit low = saved;
    low.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> filler;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) filler.push_back(fd);
    ASSERT_EQ(::connect(peer, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    const capturetest::CapturedLog log;
    const bool closed = vctest::waitFor([&] { return !fs::exists(socket); }, 5000);
    for (const int fd : filler) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ::close(peer);
    ASSERT_TRUE(closed) << "the accept did not fail";

    EXPECT_TRUE(vctest::waitFor([&] { return fs::is_socket(socket); }, 3 * InstanceChannel::watchIntervalMs));
    auto answer = std::async(std::launch::async, [&] { return InstanceChannel::ask(socket, "ping", 3000); });
    ASSERT_TRUE(vctest::waitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                                5000));
    EXPECT_EQ(answer.get(), "answer to ping");
}

// A peer that holds as many idle connections as the channel holds, and takes a closed one up again at once, keeps
// no request out: each one takes the place of an idle connection and is answered within a second.
TEST_F(InstanceChannelTest, APeerThatHoldsIdleConnectionsAndRenewsThemKeepsNoRequestOut) {
    ASSERT_TRUE(channel.listen());
    const IdlePeer peer(socket, InstanceChannel::maxHeldConnections);
    ASSERT_TRUE(vctest::waitFor([&] { return peer.made() == InstanceChannel::maxHeldConnections; }));
    int answered = 0;
    for (int request = 0; request < 30; ++request) {
        auto answer = std::async(std::launch::async, [&] { return InstanceChannel::ask(socket, "showMenu", 1000); });
        ASSERT_TRUE(vctest::waitFor(
            [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 5000));
        answered += answer.get() == "answer to showMenu";
    }
    EXPECT_EQ(answered, 30);
    EXPECT_GT(peer.made(), InstanceChannel::maxHeldConnections) << "none of the peer's connections gave way";
}

}  // namespace
