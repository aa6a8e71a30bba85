#include "platform/PulseCaptureSession.h"

#include <pulse/timeval.h>

#include <cstdint>
#include <utility>

namespace {

// Shorter fragments than the server's default, so that the first samples arrive soon after the start.
constexpr pa_usec_t fragmentMicroseconds = 20 * PA_USEC_PER_MSEC;

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
    std::string error;
    connection_ = PulseConnection::open("audioDataQueue", error);
    if (!connection_) return CaptureFailure{Cause::soundServerUnreachable, error};
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
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_read_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);  // a stream still being set up when the server did not answer
        pa_stream_unref(stream_);
        stream_ = nullptr;
        return failure;
    }
    running_ = true;
    return std::nullopt;
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
    while (pa_stream_readable_size(stream) > 0) {
        const void* bytes = nullptr;
        std::size_t size = 0;
        if (pa_stream_peek(stream, &bytes, &size) < 0 || size == 0) return;
        // No bytes with a size is a hole in the stream: nothing to deliver.
        if (bytes) self->deliver(static_cast<const unsigned char*>(bytes), size);
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
        if (stream_) {
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_set_read_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
    }
    connection_.reset();
}

bool PulseCaptureSession::isRunning() const { return running_; }
