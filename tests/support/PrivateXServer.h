#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/HostProgram.h"

namespace vctest {

// An X server (Xvfb) of the test's own, for an application that the test freezes with it: suspend() stops it where it
// is (SIGSTOP), as a hung X server, and every call of the application that waits for an answer from it waits on. The
// test run's shared X server stays as it is.
class PrivateXServer {
public:
    PrivateXServer() = default;
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;
    ~PrivateXServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGCONT);  // a suspended server must run to end
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

    // Starts it; its display (":N"), empty when it did not start. The server picks a free number itself and writes
    // it into a pipe once it accepts connections.
    std::string start() {
        int number[2];
        if (::pipe2(number, O_CLOEXEC) != 0) return {};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, number[1], 3);
        std::vector<std::string> arguments{hostProgram("Xvfb"), "-displayfd", "3", "-screen", "0", "1280x1024x24",
                                           "-nolisten", "tcp"};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(number[1]);
        std::string digits;
        pollfd readable{number[0], POLLIN, 0};
        char c = 0;
        while (pid_ > 0 && ::poll(&readable, 1, 10000) > 0 && ::read(number[0], &c, 1) == 1 && c != '\n') digits += c;
        ::close(number[0]);
        return digits.empty() ? std::string() : ":" + digits;
    }
    // Stops the server where it is (SIGSTOP): connections are kept and never answered.
    void suspend() {
        if (pid_ > 0) ::kill(pid_, SIGSTOP);
    }
    void resume() {
        if (pid_ > 0) ::kill(pid_, SIGCONT);
    }

private:
    pid_t pid_ = -1;
};

}  // namespace vctest
