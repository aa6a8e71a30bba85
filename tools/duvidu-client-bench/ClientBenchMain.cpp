// duvidu-client-bench [captures]: the cost of DuviduClient::captureError on the caller's thread, from the error to
// the transport: building the event, the threads of the process with the calling thread's stack, the debug images
// of its frames, the scope, the culture and device contexts, and the adapter's envelope with the event's JSON.
// Measured twice, as median and p99 in microseconds:
//   - with a transport that keeps the envelopes in memory;
//   - with a transport that stores them in the real on-disk cache (no sending).
// Eight idle threads stand in for the application's others. Runs in a temporary home.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Duvidu/DuviduClient.h"
#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduLog.h"
#include "duvidu-bench-support/BenchFigures.h"
#include "support/TempHome.h"

using namespace duvidu;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kIdleThreads = 8;
constexpr int kWarmUp = 50;

// Keeps every envelope, as a test's recording transport does.
class KeepingTransport : public DuviduTransport {
public:
    explicit KeepingTransport(size_t capacity) { envelopes_.reserve(capacity); }
    void sendEnvelope(const DuviduEnvelope& envelope) override { envelopes_.push_back(envelope); }
    void recordLostEvent(DuviduDataCategory, DuviduDiscardReason) override {}
    bool flush(double) override { return true; }

private:
    std::vector<DuviduEnvelope> envelopes_;
};

// Stores every envelope in the cache and sends nothing.
class StoringTransport : public DuviduTransport {
public:
    explicit StoringTransport(std::shared_ptr<DuviduFileManager> fileManager) : fileManager_(std::move(fileManager)) {}
    void sendEnvelope(const DuviduEnvelope& envelope) override { fileManager_->storeEnvelope(envelope); }
    void recordLostEvent(DuviduDataCategory, DuviduDiscardReason) override {}
    bool flush(double) override { return true; }

private:
    std::shared_ptr<DuviduFileManager> fileManager_;
};

// A scope as the SDK's start leaves it: contexts, tags, a user and a few breadcrumbs.
std::shared_ptr<DuviduScope> startedScope()
{
    auto scope = std::make_shared<DuviduScope>();
    scope->setContextValue(Value::Object{{"name", "Linux"}, {"version", "6.1"}}, "os");
    scope->setContextValue(Value::Object{{"arch", "x86_64"}, {"model", "desktop"}}, "device");
    scope->setContextValue(Value::Object{{"app_name", "vellumcaster"}, {"app_version", "1.0.0"}}, "app");
    scope->setTagValue("small", "model");
    scope->setUser(DuviduUser("user-1"));
    for (int i = 0; i < 20; ++i) {
        DuviduBreadcrumb breadcrumb;
        breadcrumb.message = "step " + std::to_string(i);
        scope->addBreadcrumb(breadcrumb);
    }
    return scope;
}

// Captures the error again and again through a client over the transport; the microseconds of each capture.
__attribute__((noinline)) std::vector<double> measure(const std::shared_ptr<const DuviduOptions>& options,
                                                      std::shared_ptr<DuviduTransport> transport, int captures)
{
    auto fileManager = DuviduFileManager::initWithOptions(*options, DuviduDefaultCurrentDateProvider::sharedInstance(),
                                                          std::make_shared<DuviduDispatchQueueWrapper>());
    auto client = DuviduClient::initWithOptions(
        options, fileManager, false, std::make_shared<DuviduTransportAdapter>(std::move(transport), options));
    auto scope = startedScope();
    NSError error("NSCocoaErrorDomain", 260,
                  {{NSDebugDescriptionKey, "The file “meta.json” couldn’t be opened."}, {"path", "/tmp/meta.json"}});
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(captures));
    for (int i = 0; i < kWarmUp + captures; ++i) {
        const auto start = Clock::now();
        client->captureError(error, scope);
        const double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        if (i >= kWarmUp) micros.push_back(elapsed);
    }
    return micros;
}

}  // namespace

int main(int argc, char** argv)
{
    const int captures = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    DuviduLog::configure(false, DuviduLevel::Error);
    const vctest::TempHome home;

    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::vector<std::thread> idle;
    for (int i = 0; i < kIdleThreads; ++i) {
        idle.emplace_back([&] {
            std::unique_lock lock(mutex);
            done.wait(lock, [&] { return finished; });
        });
    }

    auto options = std::make_shared<DuviduOptions>();
    options->setDsn("http://benchkey@127.0.0.1:9/1");
    options->releaseName = "vellumcaster@1.0.0+1";

    auto kept = measure(options, std::make_shared<KeepingTransport>(static_cast<size_t>(captures + kWarmUp)), captures);
    auto fileManager = DuviduFileManager::initWithOptions(*options, DuviduDefaultCurrentDateProvider::sharedInstance(),
                                                          std::make_shared<DuviduDispatchQueueWrapper>());
    auto stored = measure(options, std::make_shared<StoringTransport>(fileManager), captures);

    int threads = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++threads;
    std::printf("threads in the process: %d\n", threads);
    vcbench::printMedianAndP99("captureError, envelope kept", kept, 34);
    vcbench::printMedianAndP99("captureError, stored in the cache", stored, 34);

    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    done.notify_all();
    for (auto& thread : idle) thread.join();
    return 0;
}
