// duvidu-crash-bench [CRASHES]: two timings of crash capture, printed.
//
// Fault to report: CRASHES times (default 30) a copy of this program started as `--crash` starts the SDK with a full
// scope, notes the time and faults with a bad memory access; the bench notes when the report appears under its final
// name in the report folder (inotify) and prints the median and the 90th percentile of the difference.
//
// addBreadcrumb: the time per call of adding a breadcrumb to a scope without observers and to one that the crash
// handler's copy of the scope observes, and the difference.

#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Duvidu/DuviduBundleInfo.h"
#include "Duvidu/DuviduCrashScopeObserver.h"
#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduSDK.h"
#include "Duvidu/DuviduScope.h"
#include "duvidu-bench-support/BenchFigures.h"
#include "duvidu-bench-support/BenchSamples.h"
#include "duvidu-cli/CrashFaults.h"
#include "support/TempHome.h"

extern char** environ;

using namespace duvidu;
namespace fs = std::filesystem;

namespace {

int64_t realtimeNanoseconds()
{
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// The crashing run: the SDK as the application starts it, a full scope, then the fault.
int crash()
{
    DuviduSDK::startWithConfigureOptions([](DuviduOptions& options) {
        options.setDsn("http://key@127.0.0.1:9/1");  // nothing listens: nothing is sent
        options.enableAppHangTracking = false;
    });
    DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper()->postNotificationName(
        DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
    DuviduSDK::configureScope([](DuviduScope& scope) {
        for (int i = 0; i < 50; ++i) scope.setTagValue("value-" + std::to_string(i), "tag-" + std::to_string(i));
        scope.setUser(DuviduUser("0F7D2A3B-6C1E-4E5B-9A7F-1234567890AB"));
    });
    for (int i = 0; i < 100; ++i) DuviduSDK::addBreadcrumb(vcbench::sampleBreadcrumb(i));
    std::printf("%lld\n", static_cast<long long>(realtimeNanoseconds()));
    std::fflush(stdout);
    duviduCliFaultSegv();
    return 1;
}

// One crash of a child: nanoseconds from its fault to its report's rename; -1 when no report came.
int64_t faultToReport(const std::string& self)
{
    // The child inherits the temporary home, and writes its report into that home's cache.
    const vctest::TempHome home;
    const fs::path reports = home.cache() / "duvidu/DuviduCrash/duvidu-crash-bench/Reports";
    fs::create_directories(reports);
    int watch = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch, reports.c_str(), IN_MOVED_TO);

    int output[2];
    if (pipe(output) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    std::string crashArgument = "--crash";
    char* argv[] = {const_cast<char*>(self.c_str()), crashArgument.data(), nullptr};
    pid_t child = 0;
    const bool spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);

    int64_t reportTime = -1;
    char event[sizeof(struct inotify_event) + 256];
    if (spawned && read(watch, event, sizeof event) > 0) reportTime = realtimeNanoseconds();
    char text[64] = {};
    const ssize_t length = read(output[0], text, sizeof text - 1);
    close(output[0]);
    close(watch);
    if (spawned) waitpid(child, nullptr, 0);
    if (reportTime < 0 || length <= 0) return -1;
    return reportTime - std::atoll(text);
}

double nanosecondsPerBreadcrumb(bool observed)
{
    constexpr int kCalls = 100000;
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round) {
        DuviduScope scope(100);
        if (observed) scope.addObserver(std::make_shared<DuviduCrashScopeObserver>(100));
        const DuviduBreadcrumb crumb = vcbench::sampleBreadcrumb(round);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kCalls; ++i) scope.addBreadcrumb(crumb);
        const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
        rounds.push_back(spent.count() / kCalls);
    }
    std::sort(rounds.begin(), rounds.end());
    return vcbench::percentile(rounds, 50);
}

}  // namespace

int main(int argc, char** argv)
{
    DuviduBundleInfo::setCurrent(DuviduBundleInfo{"org.example.duvidu-crash-bench", "1.0", "1", "duvidu-crash-bench"});
    if (argc == 2 && std::string(argv[1]) == "--crash") return crash();
    const int crashes = argc == 2 ? std::max(1, std::atoi(argv[1])) : 30;

    std::vector<double> micros;
    for (int i = 0; i < crashes; ++i) {
        const int64_t nanoseconds = faultToReport(fs::read_symlink("/proc/self/exe"));
        if (nanoseconds >= 0) micros.push_back(static_cast<double>(nanoseconds) / 1000.0);
    }
    std::sort(micros.begin(), micros.end());
    if (micros.empty()) {
        std::printf("fault to report closed on disk: no report was written\n");
    } else {
        std::printf("fault to report closed on disk: median %.0f us, 90th percentile %.0f us (%zu crashes)\n",
                    vcbench::percentile(micros, 50), vcbench::percentile(micros, 90), micros.size());
    }

    const double plain = nanosecondsPerBreadcrumb(false);
    const double observed = nanosecondsPerBreadcrumb(true);
    std::printf("addBreadcrumb: %.0f ns without observers, %.0f ns with the crash scope observer (%.0f ns more)\n",
                plain, observed, observed - plain);
    return 0;
}
