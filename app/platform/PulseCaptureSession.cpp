#include "platform/PulseCaptureSession.h"

#include <pulse/rtclock.h>
#include <pulse/timeval.h>

#include <cstdint>
#include <string>
#include <utility>

namespace {

// Shorter fragments than the server's default, so that the first samples arrive soon after the start.
constexpr pa_usec_t fragmentMicroseconds = 20 * PA_USEC_PER_MSEC;
// How often a running capture checks that its server lives, and how long it may go without a sign of it.
constexpr pa_usec_t watchIntervalMicroseconds = 250 * PA_USEC_PER_MSEC;
constexpr pa_usec_t silenceLimitMicroseconds = 2 * PA_USEC_PER_SEC;

// The sample format to capture from a source whose samples are `format`: its own where the capture path takes it,
// else float, which the server converts to.
std::pair<pa_sample_format_t, CaptureFormat::SampleType> captureSampleFormat(pa_sample_format_t format) {
    switch (format) {
        case PA_SAMPLE_S16NE: return {format, CaptureFormat::SampleType::int16};
        case PA_SAMPLE_S32NE: return {format, CaptureFormat::SampleType::int32};
        case PA_SAMPLE_FLOAT32NE: return {format, CaptureFormat::SampleType::float32};
        default: return {PA_SAMPLE_FLOAT32NE, CaptureFormat::SampleType::float32};
    }
}

}  // namespace

PulseCaptureSession::PulseCaptureSession() = default;

PulseCaptureSession::~PulseCaptureSession() { stopRunning(); }

std::optional<CaptureFailure> PulseCaptureSession::makeInput(const CaptureDevice& device) {
    using Cause = CaptureFailure::Cause;
    if (connection_) return CaptureFailure{Cause::other, "the session has an input already"};
    PulseConnection::Failure failure;
    connection_ = PulseConnection::open("audioDataQueue", failure);
    if (!connection_) {
        return CaptureFailure{failure.threadRefused ? Cause::threadRefused : Cause::soundServerUnreachable,
                              failure.reason};
    }
    source_ = connection_->source(device.uniqueID);
    const PulseConnection::Lock lock(*connection_);
    if (connection_->unreachable()) return CaptureFailure{Cause::soundServerUnreachable, connection_->lastError()};
    if (!source_) {
        return CaptureFailure{Cause::deviceUnavailable, "the device " + device.uniqueID + " is no longer available"};
    }
    return std::nullopt;
}

bool PulseCaptureSession::addInput() {
    if (!source_ || sampleSpec_) return false;
    pa_sample_spec sampleSpec = source_->sampleSpec;
    const auto [sampleFormat, sampleType] = captureSampleFormat(sampleSpec.format);
    sampleSpec.format = sampleFormat;
    if (!pa_sample_spec_valid(&sampleSpec)) return false;
    sampleSpec_ = sampleSpec;
    format_ = CaptureFormat{sampleType, double(sampleSpec.rate), int(sampleSpec.channels)};
    return true;
}

bool PulseCaptureSession::addOutput(std::shared_ptr<CaptureOutput> output) {
    if (!sampleSpec_ || output_ || !output) return false;
    output_ = std::move(output);
    return true;
}

std::optional<CaptureFailure> PulseCaptureSession::startRunning() {
    using Cause = CaptureFailure::Cause;
    if (!connection_ || !sampleSpec_ || !output_) {
        return CaptureFailure{Cause::other, "the session has no input or no output"};
    }
    connection_->setLostHandler([this](const std::string& reason) {
        if (running_) reportFailure({Cause::soundServerUnreachable, reason});
    });
    const PulseConnection::Lock lock(*connection_);
    if (stream_) return std::nullopt;
    stream_ = pa_stream_new(connection_->context(), "Dictation", &*sampleSpec_, nullptr);
    if (!stream_) return CaptureFailure{Cause::other, connection_->lastError()};
    pa_stream_set_state_callback(stream_, &PulseCaptureSession::streamStateChanged, this);
    pa_stream_set_read_callback(stream_, &PulseCaptureSession::streamReadable, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = std::uint32_t(-1);
    attributes.fragsize = std::uint32_t(pa_usec_to_bytes(fragmentMicroseconds, &*sampleSpec_));
    // This source only: capture ends when it goes away, rather than moving to another microphone unasked.
    const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    pa_stream* stream = stream_;
    const bool started = pa_stream_connect_record(stream, source_->name.c_str(), &attributes, flags) == 0 &&
                         connection_->waitUntil([stream] {
                             const pa_stream_state_t state = pa_stream_get_state(stream);
                             return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
                         }) &&
                         pa_stream_get_state(stream) == PA_STREAM_READY;
    if (!started) {
        const CaptureFailure failure = sourceFailure("could not be opened");
        PulseConnection::endStream(stream_);
        return failure;
    }
    running_ = true;
    lastSignOfLife_ = pa_rtclock_now();
    watchdog_ = pa_context_rttime_new(connection_->context(), lastSignOfLife_ + watchIntervalMicroseconds,
                                      &PulseCaptureSession::watch, this);
    return std::nullopt;
}

void PulseCaptureSession::watch(pa_mainloop_api*, pa_time_event* event, const struct timeval*, void* data) {
    auto* self = static_cast<PulseCaptureSession*>(data);
    if (!self->running_) return;
    const pa_usec_t now = pa_rtclock_now();
    if (self->timingRequest_ && pa_operation_get_state(self->timingRequest_) != PA_OPERATION_RUNNING) {
        pa_operation_unref(self->timingRequest_);
        self->timingRequest_ = nullptr;
    }
    if (now - self->lastSignOfLife_ >= silenceLimitMicroseconds) {
        // Neither samples nor an answer: the server hangs. What was captured until then stays with the recording, and
        // what the server sends should it come back is not added to it.
        self->silenced_ = true;
        self->reportFailure({CaptureFailure::Cause::soundServerUnreachable,
                             "the sound server sent no samples and did not answer for " +
                                 std::to_string(silenceLimitMicroseconds / PA_USEC_PER_MSEC) + " ms"});
        return;
    }
    // A source with nothing to record (a pipe nobody writes to) sends no samples either: while none come, the server
    // is asked for the stream's timing, and its answer counts as a sign of life.
    if (!self->timingRequest_ && now - self->lastSignOfLife_ >= watchIntervalMicroseconds) {
        self->timingRequest_ = pa_stream_update_timing_info(self->stream_, &PulseCaptureSession::timingAnswered, self);
    }
    pa_context_rttime_restart(self->connection_->context(), event, now + watchIntervalMicroseconds);
}

void PulseCaptureSession::timingAnswered(pa_stream*, int, void* data) {
    static_cast<PulseCaptureSession*>(data)->lastSignOfLife_ = pa_rtclock_now();
}

void PulseCaptureSession::streamStateChanged(pa_stream* stream, void* data) {
    auto* self = static_cast<PulseCaptureSession*>(data);
    if (self->running_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        self->reportFailure(self->sourceFailure("stopped"));
    }
    self->connection_->signal();
}

void PulseCaptureSession::streamReadable(pa_stream* stream, std::size_t, void* data) {
    auto* self = static_cast<PulseCaptureSession*>(data);
    self->lastSignOfLife_ = pa_rtclock_now();
    while (pa_stream_readable_size(stream) > 0) {
        const void* bytes = nullptr;
        std::size_t size = 0;
        if (pa_stream_peek(stream, &bytes, &size) < 0 || size == 0) return;
        // No bytes with a size is a hole in the stream: nothing to deliver.
        if (bytes && !self->silenced_) self->deliver(static_cast<const unsigned char*>(bytes), size);
        pa_stream_drop(stream);
    }
}

void PulseCaptureSession::deliver(const unsigned char* bytes, std::size_t size) {
    const std::size_t frameBytes = format_.bytesPerFrame();
    if (!pending_.empty()) {
        pending_.insert(pending_.end(), bytes, bytes + size);
        bytes = pending_.data();
        size = pending_.size();
    }
    const std::size_t frames = size / frameBytes;
    const std::size_t whole = frames * frameBytes;
    if (frames > 0) output_->deliver(CapturedBuffer{format_, std::int64_t(frames), {bytes, whole}});
    std::vector<unsigned char> rest(bytes + whole, bytes + size);
    pending_ = std::move(rest);
}

CaptureFailure PulseCaptureSession::sourceFailure(const std::string& what) const {
    const std::string reason = "the device " + source_->name + " " + what + ": " + connection_->lastError();
    return {connection_->unreachable() ? CaptureFailure::Cause::soundServerUnreachable
                                       : CaptureFailure::Cause::deviceUnavailable,
            reason};
}

void PulseCaptureSession::reportFailure(const CaptureFailure& failure) {
    running_ = false;
    output_->fail(failure);
}

void PulseCaptureSession::stopRunning() {
    if (!connection_) return;
    {
        const PulseConnection::Lock lock(*connection_);
        running_ = false;
        connection_->freeTimer(watchdog_);
        PulseConnection::cancel(timingRequest_);
        PulseConnection::endStream(stream_);
    }
    connection_.reset();
}

bool PulseCaptureSession::isRunning() const { return running_; }
