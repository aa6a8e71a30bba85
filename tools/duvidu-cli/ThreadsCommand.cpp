// duvidu-cli threads [--workers N]: starts N workers named "worker-1" to "worker-N", each parked in
// duviduCliParkedWorker, then prints every thread of the process with its stack and the debug images those stacks
// point into, as the JSON an event carries them in.

#include <pthread.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "Commands.h"
#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduSerialization.h"
#include "Duvidu/DuviduThreadInspector.h"

using namespace duvidu;

namespace {

struct Parking {
    std::mutex mutex;
    std::condition_variable changed;
    int parked = 0;
    bool released = false;
};

std::optional<int> workerCount(const std::vector<std::string>& arguments)
{
    int workers = 0;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != "--workers" || i + 1 >= arguments.size()) return std::nullopt;
        try {
            size_t used = 0;
            workers = std::stoi(arguments[++i], &used);
            if (used != arguments[i].size() || workers < 0) return std::nullopt;
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    return workers;
}

Value::Array serialized(const std::vector<DuviduThread>& threads)
{
    Value::Array values;
    for (const auto& thread : threads) values.emplace_back(thread.serialize());
    return values;
}

Value::Array serialized(const std::vector<DuviduDebugMeta>& images)
{
    Value::Array values;
    for (const auto& image : images) values.emplace_back(image.serialize());
    return values;
}

}  // namespace

// Waits until the command releases it; kept out of line so that it shows as a frame of its own.
extern "C" __attribute__((noinline)) void duviduCliParkedWorker(Parking* parking, int number)
{
    pthread_setname_np(pthread_self(), ("worker-" + std::to_string(number)).c_str());
    std::unique_lock lock(parking->mutex);
    ++parking->parked;
    parking->changed.notify_all();
    parking->changed.wait(lock, [&] { return parking->released; });
    asm volatile("");  // keeps the call above from becoming a tail call
}

int threadsCommand(const DuviduCliOptions& options)
{
    auto workers = workerCount(options.arguments);
    if (!workers) {
        std::fprintf(stderr, "duvidu-cli: threads takes only --workers N\n");
        return 2;
    }
    Parking parking;
    std::vector<std::thread> threads;
    for (int i = 1; i <= *workers; ++i) threads.emplace_back(duviduCliParkedWorker, &parking, i);
    {
        std::unique_lock lock(parking.mutex);
        parking.changed.wait(lock, [&] { return parking.parked == *workers; });
    }

    DuviduThreadInspector inspector(*options.sdkOptions());
    auto inspected = inspector.getCurrentThreadsWithStackTrace();
    auto images = DuviduDependencyContainer::sharedInstance()->debugImageProvider()->getDebugImagesForThreads(
        inspected, false);

    {
        std::lock_guard lock(parking.mutex);
        parking.released = true;
    }
    parking.changed.notify_all();
    for (auto& thread : threads) thread.join();

    Value::Object output{
        {"threads", Value::Object{{"values", serialized(inspected)}}},
        {"debug_meta", Value::Object{{"images", serialized(images)}}},
    };
    auto data = DuviduSerialization::dataWithJSONObject(output);
    if (!data) {
        std::fprintf(stderr, "duvidu-cli: the threads could not be written as JSON\n");
        return 1;
    }
    std::printf("%s\n", nlohmann::json::parse(data->begin(), data->end()).dump(2).c_str());
    return 0;
}
