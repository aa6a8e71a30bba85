// duvidu-delivery-bench [rounds]: the cost per envelope of storing it in the cache (serialize, write, rename, cache
// limit) and of sending it from the cache to a loopback server (read, sent_at, serialize, gzip, HTTP round trip,
// delete), each as median and p99 in microseconds. The envelope is a prepared error event of about 6 KB of JSON.
// Runs in a temporary home.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduFileManager.h"
#include "Duvidu/DuviduHttpTransport.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSerialization.h"
#include "duvidu-bench-support/BenchFigures.h"
#include "duvidu-bench-support/BenchSamples.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempHome.h"

using namespace duvidu;
using Clock = std::chrono::steady_clock;

namespace {

// The cache holds at most this many envelopes by default; the runs keep to it.
constexpr int kBatch = 30;

DuviduEnvelope eventEnvelope()
{
    auto event = vcbench::sampleErrorEvent(40, "/usr/lib/x86_64-linux-gnu/libvellum.so");
    event->tags = Value::Object{{"release", "vellumcaster@1.0.0+1"}, {"model", "small"}};
    return DuviduEnvelope(DuviduEnvelopeHeader(event->eventId, nullptr), DuviduEnvelopeItem(*event));
}

double microsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    DuviduLog::configure(false, DuviduLevel::Error);
    const vctest::TempHome home;

    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Clock::time_point> arrivals;
    vctest::LoopbackHttpServer server([&](int socket, const vctest::HttpRequest&) {
        vctest::LoopbackHttpServer::reply(socket, 200);
        std::lock_guard lock(mutex);
        arrivals.push_back(Clock::now());
        arrived.notify_all();
    });
    auto options = std::make_shared<DuviduOptions>();
    options->setDsn("http://benchkey@127.0.0.1:" + std::to_string(server.port()) + "/1");
    auto fileManager = DuviduFileManager::initWithOptions(*options, DuviduDefaultCurrentDateProvider::sharedInstance(),
                                                          std::make_shared<DuviduDispatchQueueWrapper>());
    const auto envelope = eventEnvelope();
    std::printf("envelope: %zu bytes\n", DuviduSerialization::dataWithEnvelope(envelope)->size());

    std::vector<double> store, send;
    for (int round = 0; round < rounds; ++round) {
        for (int i = 0; i < kBatch; ++i) {
            const auto start = Clock::now();
            fileManager->storeEnvelope(envelope);
            store.push_back(microsSince(start));
        }
        // A transport made over a full cache sends it, one envelope after the other: the gaps between the arrivals
        // are what each envelope costs (the first one also pays for starting the transport, so it is left out).
        {
            std::lock_guard lock(mutex);
            arrivals.clear();
        }
        auto transport = DuviduHttpTransport::make(options, fileManager, std::make_shared<DuviduRequestManager>(),
                                                   std::make_shared<DuviduDispatchQueueWrapper>("duvidu-http"));
        std::unique_lock lock(mutex);
        if (!arrived.wait_for(lock, std::chrono::seconds(30), [&] { return arrivals.size() == kBatch; })) {
            std::fprintf(stderr, "the loopback server got %zu of %d envelopes\n", arrivals.size(), kBatch);
            return 1;
        }
        for (size_t i = 1; i < arrivals.size(); ++i)
            send.push_back(std::chrono::duration<double, std::micro>(arrivals[i] - arrivals[i - 1]).count());
        lock.unlock();
        transport->flush(30);
    }
    vcbench::printMedianAndP99("store (serialize+write+rename)", store, 28);
    vcbench::printMedianAndP99("send over loopback", send, 28);
    return 0;
}
