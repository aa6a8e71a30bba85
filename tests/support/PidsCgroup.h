#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/ReadFile.h"

namespace vctest {

// A control group of the pids controller, made for one test: the processes moved into it can start no more tasks
// (threads or processes) than its limit, root included, so that a thread the system refuses is a real refusal. It
// lives under the hierarchy that carries the controller (a cgroup v1 "pids" mount, or a cgroup v2 mount that
// delegates it). Its members go back to the hierarchy's root, and the group is removed, when the object goes.
class PidsCgroup {
public:
    explicit PidsCgroup(const std::string& name) {
        const std::filesystem::path root = hierarchy();
        if (root.empty()) return;
        path_ = root / name;
        ::rmdir(path_.c_str());  // left over from a run that was killed
        if (::mkdir(path_.c_str(), 0755) != 0) path_.clear();
    }
    ~PidsCgroup() {
        if (path_.empty()) return;
        for (const pid_t pid : members()) write(path_.parent_path() / "cgroup.procs", std::to_string(pid));
        ::rmdir(path_.c_str());
    }
    PidsCgroup(const PidsCgroup&) = delete;
    PidsCgroup& operator=(const PidsCgroup&) = delete;

    // Whether the group exists: false on a machine whose pids controller this test may not use.
    bool usable() const { return !path_.empty() && std::filesystem::exists(path_ / "pids.max"); }

    // Moves a whole process (all its threads) into the group.
    bool add(pid_t pid) { return write(path_ / "cgroup.procs", std::to_string(pid)); }
    // The file that a process writes "0" into to join the group itself (a child before it runs its program, say).
    std::filesystem::path joinFile() const { return path_ / "cgroup.procs"; }
    // The tasks the group's processes have now.
    long current() const { return std::stol("0" + readFile(path_ / "pids.current")); }
    // No task beyond `tasks` may start; a negative count lifts the limit.
    bool limit(long tasks) { return write(path_ / "pids.max", tasks < 0 ? "max" : std::to_string(tasks)); }
    // How many tasks the limit has refused so far.
    long refusals() const {
        std::istringstream events(readFile(path_ / "pids.events"));
        std::string key;
        long count = 0;
        while (events >> key >> count) {
            if (key == "max") return count;
        }
        return 0;
    }

private:
    // Where the pids controller can be given to a child group; empty when nowhere.
    static std::filesystem::path hierarchy() {
        std::ifstream mounts("/proc/self/mounts");
        std::string device, point, type, options, rest;
        std::filesystem::path unified;
        while (mounts >> device >> point >> type >> options && std::getline(mounts, rest)) {
            if (type == "cgroup" && (options + ",").find("pids,") != std::string::npos) return point;
            if (type == "cgroup2" && unified.empty()) unified = point;
        }
        if (unified.empty() || readFile(unified / "cgroup.controllers").find("pids") == std::string::npos) return {};
        if (!write(unified / "cgroup.subtree_control", "+pids")) return {};
        return unified;
    }

    std::vector<pid_t> members() const {
        std::vector<pid_t> pids;
        std::istringstream procs(readFile(path_ / "cgroup.procs"));
        for (pid_t pid = 0; procs >> pid;) pids.push_back(pid);
        return pids;
    }

    static bool write(const std::filesystem::path& file, const std::string& text) {
        std::ofstream out(file);
        out << text;
        out.flush();
        return bool(out);
    }

    std::filesystem::path path_;
};

}  // namespace vctest
