// duvidu-bench [Google Benchmark flags]: the median time per call of merging a scope of 100 breadcrumbs and 50 tags
// into an event, of serializing such an event, and of serializing it and writing its JSON.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduScope.h"
#include "Duvidu/DuviduSerialization.h"
#include "duvidu-bench-support/BenchSamples.h"

using namespace duvidu;

namespace {

std::shared_ptr<DuviduScope> fullScope()
{
    auto scope = std::make_shared<DuviduScope>();
    for (int i = 0; i < 100; ++i) scope->addBreadcrumb(vcbench::sampleBreadcrumb(i));
    for (int i = 0; i < 50; ++i) scope->setTagValue("value-" + std::to_string(i), "tag-" + std::to_string(i));
    scope->setUser(DuviduUser("0F7D2A3B-6C1E-4E5B-9A7F-1234567890AB"));
    scope->setEnvironment("production");
    scope->setContextValue(Value::Object{{"name", "Linux"}, {"version", "6.1.0"}}, "os");
    scope->setContextValue(Value::Object{{"free_memory", 1u << 30}, {"processor_count", 8}}, "device");
    return scope;
}

// An error event as the client leaves it: merged with the full scope, with an exception and a stack of 30 frames.
std::shared_ptr<DuviduEvent> preparedEvent()
{
    auto event = vcbench::sampleErrorEvent(30, "/usr/lib/libvellum.so");
    event->exceptions->front().mechanism->data = Value::Object{{"NSFilePath", "/tmp/out.wav"}};
    return fullScope()->applyToEvent(event, 100);
}

void BM_ApplyToEvent(benchmark::State& state)
{
    auto scope = fullScope();
    auto event = std::make_shared<DuviduEvent>(DuviduLevel::Error);
    for (auto _ : state) {
        scope->applyToEvent(event, 100);
        benchmark::DoNotOptimize(event.get());
        // What the merge filled in goes, so that the next call merges everything again.
        event->tags.reset();
        event->extra.reset();
        event->breadcrumbs.reset();
        event->context.reset();
        event->user.reset();
        event->environment.reset();
    }
}
// Each runs 9 times; the "_median" row is the figure to read.
BENCHMARK(BM_ApplyToEvent)->Repetitions(9)->DisplayAggregatesOnly(true);

void BM_EventSerialize(benchmark::State& state)
{
    auto event = preparedEvent();
    for (auto _ : state) benchmark::DoNotOptimize(event->serialize());
}
BENCHMARK(BM_EventSerialize)->Repetitions(9)->DisplayAggregatesOnly(true);

void BM_EventSerializeAndWriteJSON(benchmark::State& state)
{
    auto event = preparedEvent();
    size_t bytes = 0;
    for (auto _ : state) {
        auto data = DuviduSerialization::dataWithJSONObject(event->serialize());
        bytes = data ? data->size() : 0;
        benchmark::DoNotOptimize(data);
    }
    state.counters["json_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EventSerializeAndWriteJSON)->Repetitions(9)->DisplayAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
