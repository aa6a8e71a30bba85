#pragma once

#include <map>
#include <string>
#include <vector>

namespace vctest {

// How a program run by runChild ended, and what it printed.
struct ChildResult {
    // The raw status of waitpid: test it with WIFSIGNALED, WTERMSIG, WIFEXITED, WEXITSTATUS.
    int status = 0;
    std::string output;
    bool timedOut = false;
};

// Runs the program with the arguments, with this process's environment plus the given variables (an empty value
// removes one), and waits for it; a program still running after timeoutSeconds is killed. The program is started by
// posix_spawn, so the calling (multi-threaded) test process is never forked as it stands. Its standard output is
// collected; its standard error goes to the test's.
ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment = {}, int timeoutSeconds = 60);

}  // namespace vctest
