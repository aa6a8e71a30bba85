#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace vctest {

// Another process that holds an exclusive flock on a file or folder until this object goes, as one stopped in a
// debugger would; it is killed then. The child only opens, locks, reports and waits (calls that are safe after a fork
// of a process with threads).
class LockHoldingProcess {
public:
    explicit LockHoldingProcess(const std::string& path) {
        int ready[2];
        if (::pipe(ready) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork");
        if (pid_ == 0) {
            const int locked = ::open(path.c_str(), O_RDONLY);
            if (locked < 0 || ::flock(locked, LOCK_EX) != 0) ::_exit(1);
            const char byte = 1;
            if (::write(ready[1], &byte, 1) != 1) ::_exit(1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char byte = 0;
        const bool locked = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        if (!locked) {
            stop();
            throw std::runtime_error("the child could not lock " + path);
        }
    }
    ~LockHoldingProcess() { stop(); }
    LockHoldingProcess(const LockHoldingProcess&) = delete;
    LockHoldingProcess& operator=(const LockHoldingProcess&) = delete;

private:
    void stop() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

    pid_t pid_ = -1;
};

}  // namespace vctest
