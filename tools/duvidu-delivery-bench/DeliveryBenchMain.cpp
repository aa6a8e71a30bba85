// duvidu-delivery-bench [rounds]: the cost per envelope of storing it in the cache (serialize, write, rename, cache
// limit) and of sending it from the cache to a loopback server (read, sent_at, serialize, gzip, HTTP round trip,
// delete), each as median and p99 in microseconds. The envelope is a prepared error event of about 6 KB of JSON.
// Runs in a temporary cache folder.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduEvent.h"
#include "Duvidu/DuviduFileManager.h"
#include "Duvidu/DuviduHttpTransport.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSerialization.h"
#include "support/LoopbackHttpServer.h"

using namespace duvidu;
using Clock = std::chrono::steady_clock;

namespace {

// The cache holds at most this many envelopes by default; the runs keep to it.
constexpr int kBatch = 30;

DuviduEnvelope eventEnvelope()
{
    DuviduEvent event(NSError("NSCocoaErrorDomain", 4));
    std::vector<DuviduFrame> frames(40);
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i].function = "function_" + std::to_string(i);
        frames[i].instructionAddress = "0x00007f00000" + std::to_string(10000 + i);
        frames[i].package = "/usr/lib/x86_64-linux-gnu/libvellum.so";
        frames[i].inApp = i % 2 == 0;
    }
    DuviduException exception("The file could not be opened (Code: 4)", "NSCocoaErrorDomain");
    exception.mechanism = DuviduMechanism("NSError");
    exception.stacktrace = DuviduStacktrace(frames, {});
    event.exceptions = std::vector<DuviduException>{exception};
    event.tags = Value::Object{{"release", "vellumcaster@1.0.0+1"}, {"model", "small"}};
    return DuviduEnvelope(DuviduEnvelopeHeader(event.eventId, nullptr), DuviduEnvelopeItem(event));
}

void print(const char* what, std::vector<double> micros)
{
    std::sort(micros.begin(), micros.end());
    const auto at = [&](double q) { return micros[std::min(micros.size() - 1, size_t(q * double(micros.size())))]; };
    std::printf("%-28s n=%-5zu median %8.1f us   p99 %8.1f us\n", what, micros.size(), at(0.5), at(0.99));
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
    std::string folder = (std::filesystem::temp_directory_path() / "duvidu-delivery-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) return 1;
    setenv("XDG_CACHE_HOME", folder.c_str(), 1);

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
    print("store (serialize+write+rename)", store);
    print("send over loopback", send);
    std::filesystem::remove_all(folder);
    return 0;
}
