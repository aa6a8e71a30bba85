#pragma once

#include <pulse/stream.h>
#include <pulse/mainloop-api.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/CaptureFormat.h"
#include "platform/CaptureSession.h"
#include "platform/PulseConnection.h"

// A capture session on a record stream of the sound server, over a connection of its own that makeInput opens: a
// server that was restarted since the last recording is reached again. Capture runs on the connection's thread,
// named "audioDataQueue", which delivers the buffers to the output in order. The format is the source's own rate and
// channels, in 16-bit, 32-bit or float samples as the source has them (others are converted to float by the server).
// A source that goes away, or a server that does, ends capture with a failure; so does a server that hangs: one that
// sends no samples and answers no question for 2 s.
class PulseCaptureSession : public CaptureSession {
public:
    PulseCaptureSession();
    ~PulseCaptureSession() override;

    std::optional<CaptureFailure> makeInput(const CaptureDevice& device) override;
    bool addInput() override;
    bool addOutput(std::shared_ptr<CaptureOutput> output) override;
    std::optional<CaptureFailure> startRunning() override;
    void stopRunning() override;
    bool isRunning() const override;

private:
    static void streamStateChanged(pa_stream* stream, void* self);
    static void streamReadable(pa_stream* stream, std::size_t bytes, void* self);
    // The timer on the loop's thread that tells a server that hangs.
    static void watch(pa_mainloop_api* api, pa_time_event* event, const struct timeval* time, void* self);
    static void timingAnswered(pa_stream* stream, int success, void* self);
    // Hands whole frames to the output; a frame split between two reads is kept until its rest arrives.
    void deliver(const unsigned char* bytes, std::size_t size);
    void reportFailure(const CaptureFailure& failure);
    // Inside the connection's lock: a failure of the source, or of the sound server when that is out of reach.
    CaptureFailure sourceFailure(const std::string& what) const;

    std::unique_ptr<PulseConnection> connection_;
    std::optional<PulseConnection::Source> source_;
    std::optional<pa_sample_spec> sampleSpec_;
    CaptureFormat format_;
    std::shared_ptr<CaptureOutput> output_;
    std::atomic<bool> running_{false};
    // Under the connection's lock:
    pa_stream* stream_ = nullptr;
    std::vector<unsigned char> pending_;
    pa_time_event* watchdog_ = nullptr;
    pa_operation* timingRequest_ = nullptr;
    pa_usec_t lastSignOfLife_ = 0;  // when samples or an answer came last, by the loop's clock
    bool silenced_ = false;         // the server was given up for hanging: what it sends is no longer taken
};
