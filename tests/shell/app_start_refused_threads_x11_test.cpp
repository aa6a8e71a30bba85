// The application binary started where threads are already scarce: in a pids control group (which binds root too)
// whose limit is below the tasks it has at rest, from its first instruction on, as for a user already near a limit
// when it starts at login. Whatever the limit, the start either completes or ends by itself at its own limit, saying
// why; a SIGTERM ends a running one within 2 s, also one whose start has not finished; and a start after one that
// ended works.

#include "AppProcess.h"
#include "support/PidsCgroup.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>

namespace fs = std::filesystem;
using shelltest::AppProcess;
using shelltest::waitFor;

namespace {

struct Limit {
    int tasks;
    bool twoProcessors;  // else every processor the test may use
    // SIGTERM 3 s after launch, whether or not the start has finished, instead of waiting for its end.
    bool sigtermWhileStarting = false;
};

void PrintTo(const Limit& limit, std::ostream* out) {
    *out << limit.tasks << " tasks on " << (limit.twoProcessors ? "two processors" : "all processors")
         << (limit.sigtermWhileStarting ? ", SIGTERM while starting" : "");
}

class StartUnderTaskLimitTest : public testing::TestWithParam<Limit> {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the x11 layer needs an X server: run under scripts/test";
        ASSERT_TRUE(fs::exists(AppProcess::binary().toStdString()));
        // A runtime folder of its own, for the single-instance lock.
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        ASSERT_TRUE(tasks.usable()) << "no pids control group could be made on this machine";
    }

    void prepare(AppProcess& app) { app.setEnvironment("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string())); }

    // The start's limit here, instead of the 10 s a user's start has: the cases whose start waits for a refused
    // thread end by it. One with a SIGTERM while starting keeps the 10 s, so that the signal comes first.
    static constexpr int startLimitMs = 3000;

    static bool started(const AppProcess& app) { return app.log.contains("status image Icon"); }
    static bool running(const AppProcess& app) { return app.process.state() != QProcess::NotRunning; }

    fs::path runtime = fs::temp_directory_path() / ("vellumcaster-start-" + std::to_string(::getpid()));
    vctest::PidsCgroup tasks{"vellumcaster-start-" + std::to_string(::getpid())};
};

TEST_P(StartUnderTaskLimitTest, TheStartCompletesOrEndsByItselfSayingWhyAndSigtermEndsWhatRuns) {
    const Limit limit = GetParam();
    ASSERT_TRUE(tasks.limit(limit.tasks));
    AppProcess app;
    prepare(app);
    if (!limit.sigtermWhileStarting) app.setEnvironment("VELLUMCASTER_START_LIMIT_MS", QString::number(startLimitMs));
    // In the child, before the binary runs: into the group, and onto two processors if asked.
    app.process.setChildProcessModifier([join = tasks.joinFile().string(), two = limit.twoProcessors] {
        const int fd = ::open(join.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd >= 0) {
            [[maybe_unused]] const ssize_t written = ::write(fd, "0", 1);
            ::close(fd);
        }
        cpu_set_t allowed;
        if (two && ::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
            cpu_set_t first;
            CPU_ZERO(&first);
            for (int cpu = 0, kept = 0; cpu < CPU_SETSIZE && kept < 2; ++cpu) {
                if (CPU_ISSET(cpu, &allowed)) CPU_SET(cpu, &first), ++kept;
            }
            ::sched_setaffinity(0, sizeof first, &first);
        }
    });
    ASSERT_TRUE(app.start());
    QElapsedTimer clock;
    clock.start();
    if (limit.sigtermWhileStarting) {
        // Whatever the GUI thread waits for inside a library, the signal ends the process.
        waitFor([&] { return !running(app); }, 3000);
        ASSERT_TRUE(running(app)) << app.log.toStdString();
        RecordProperty("outcome", started(app) ? "started" : "still starting");
        QElapsedTimer signalled;
        signalled.start();
        ::kill(pid_t(app.process.processId()), SIGTERM);
        ASSERT_TRUE(waitFor([&] { return !running(app); }, 5000)) << app.log.toStdString();
        EXPECT_LT(signalled.elapsed(), 2000) << "SIGTERM did not end the application within 2 s\n"
                                             << app.log.toStdString();
        return;
    }
    // The rest of the time is for a busy machine.
    ASSERT_TRUE(waitFor([&] { return started(app) || !running(app); }, startLimitMs + 10000))
        << "the start neither completed nor ended in time\n"
        << app.log.toStdString();
    RecordProperty("outcome", started(app) ? "started" : "ended by itself");
    // A start that completed meets the limit at its first look-ups of the audio devices at the latest.
    EXPECT_TRUE(waitFor([&] { return tasks.refusals() > 0; }, 10000))
        << "the limit refused nothing: it is not below what the application needs\n"
        << app.log.toStdString();
    RecordProperty("refusals", std::to_string(tasks.refusals()));

    if (running(app)) {
        const qint64 pid = app.process.processId();
        ::kill(pid_t(pid), SIGTERM);
        const bool watched = !app.log.contains("Cannot watch the start and the quit");
        // Where even the watching thread was refused, the signal ends the process the default way.
        EXPECT_TRUE(watched ? app.endsWithStatusZero(2000) : waitFor([&] { return !running(app); }, 2000))
            << "SIGTERM did not end the application within 2 s\n"
            << app.log.toStdString();
        return;
    }
    EXPECT_EQ(app.process.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(app.process.exitCode(), 0);
    EXPECT_LT(clock.elapsed(), startLimitMs + 5000);
    EXPECT_TRUE(app.log.contains("Vellumcaster could not finish starting within") ||
                app.log.contains("Vellumcaster cannot start"))
        << "the start ended without saying why\n"
        << app.log.toStdString();

    // Nothing of the start that ended stands in the way of the next one.
    AppProcess next;
    prepare(next);
    ASSERT_TRUE(next.start());
    ASSERT_TRUE(waitFor([&] { return started(next); }, 20000)) << next.log.toStdString();
    ::kill(pid_t(next.process.processId()), SIGTERM);
    EXPECT_TRUE(next.endsWithStatusZero(2000)) << next.log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Tasks, StartUnderTaskLimitTest,
                         testing::Values(Limit{1, true}, Limit{2, true}, Limit{3, true}, Limit{4, true},
                                         Limit{5, true}, Limit{6, true}, Limit{3, false}, Limit{5, false},
                                         Limit{2, true, true}, Limit{3, true, true}),
                         [](const testing::TestParamInfo<Limit>& info) {
                             return std::to_string(info.param.tasks) +
                                    (info.param.twoProcessors ? "OnTwoProcessors" : "OnAllProcessors") +
                                    (info.param.sigtermWhileStarting ? "SigtermWhileStarting" : "");
                         });

}  // namespace
