#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/HostProgram.h"

namespace vctest {

// A sound server of the test's own, with one pipe source "vc_restart" and a null sink for what is played, that the
// test stops, suspends and starts again; the audio layer's shared server stays as it is.
class PrivateSoundServer {
public:
    explicit PrivateSoundServer(const std::filesystem::path& folder) : folder_(folder) {
        std::filesystem::create_directories(folder_ / "runtime");
        std::filesystem::permissions(folder_ / "runtime", std::filesystem::perms::owner_all);
        std::ofstream(folder_ / "default.pa")
            << "load-module module-native-protocol-unix socket=" << (folder_ / "native").string()
            << " auth-anonymous=1\nload-module module-pipe-source source_name=vc_restart file=" << fifo()
            << " format=s16le rate=16000 channels=1\nload-module module-null-sink sink_name=vc_null\n"
            << "set-default-source vc_restart\n";
    }
    ~PrivateSoundServer() { stop(); }

    std::string address() const { return "unix:" + (folder_ / "native").string(); }
    std::string fifo() const { return (folder_ / "mic.fifo").string(); }

    void start() {
        std::vector<std::string> arguments{"env",
                                           "XDG_RUNTIME_DIR=" + (folder_ / "runtime").string(),
                                           hostProgram("pulseaudio"),
                                           "--daemonize=no",
                                           "--exit-idle-time=-1",
                                           "-n",
                                           "--file=" + (folder_ / "default.pa").string(),
                                           "--use-pid-file=no",
                                           "--log-target=file:" + (folder_ / "pulse.log").string()};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (::posix_spawnp(&pid_, "env", nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
    }
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGCONT);  // a suspended server must run to end
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // Stops the server where it is (SIGSTOP), as a hanging one: connections are accepted and never answered. Returns
    // once every thread of it has stopped (a busy machine may let one of them run on for a while after the signal), or
    // after 10 s.
    void suspend() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGSTOP);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!stopped() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    void resume() {
        if (pid_ > 0) ::kill(pid_, SIGCONT);
    }

private:
    // Whether every thread of the server is stopped, by the states the system gives them.
    bool stopped() const {
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator(
                 std::filesystem::path("/proc") / std::to_string(pid_) / "task", error)) {
            std::ifstream file(task.path() / "stat");
            const std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            // The state follows the command name, which is in parentheses and may hold any character.
            const std::size_t name = stat.rfind(')');
            if (name == std::string::npos || name + 2 >= stat.size() || stat[name + 2] != 'T') return false;
        }
        return !error;
    }

    std::filesystem::path folder_;
    pid_t pid_ = -1;
};

}  // namespace vctest
