#include "platform/PulseSoundPlayer.h"

#include "platform/AppLog.h"

#include <pulse/error.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

// How often a playing sound reads its position, and how long the server may leave that question unanswered.
constexpr pa_usec_t tickMicroseconds = 100 * PA_USEC_PER_MSEC;
constexpr pa_usec_t answerLimitMicroseconds = 2 * PA_USEC_PER_SEC;

}  // namespace

// What the caller, the starting thread and the connection's loop thread share of one sound. It keeps itself alive
// while its stream lives, so that the player can go at any moment; the stream is ended only on the loop's timer.
class PulseSoundPlayer::Playback {
public:
    explicit Playback(std::unique_ptr<SoundSource> source)
        : description_(source->description()), source_(std::move(source)) {}

    // On a thread of the connection's: opens the samples and starts the stream.
    void start(const std::shared_ptr<Playback>& self, SharedPulseConnection& server);
    void stop() { stopRequested_ = true; }
    void setVolume(float volume) { volume_ = std::clamp(volume, 0.0f, 1.0f); }

    double position() const {
        std::lock_guard lock(mutex_);
        return ended_ ? 0.0 : position_;
    }
    bool ended() const {
        std::lock_guard lock(mutex_);
        return ended_;
    }
    std::optional<Failure> failure() const {
        std::lock_guard lock(mutex_);
        return failure_;
    }
    // The first failure counts, and is logged.
    void fail(Failure::Cause cause, const std::string& reason) {
        {
            std::lock_guard lock(mutex_);
            if (failure_) return;
            failure_ = Failure{cause, reason};
        }
        AppLog::error("Could not play " + description_ + ": " + reason);
    }

private:
    static void streamStateChanged(pa_stream* stream, void* self);
    static void streamWritable(pa_stream* stream, std::size_t bytes, void* self);
    static void drained(pa_stream* stream, int success, void* self);
    static void timingAnswered(pa_stream* stream, int success, void* self);
    static void tick(pa_mainloop_api* api, pa_time_event* event, const struct timeval* time, void* self);
    bool over() const {
        std::lock_guard lock(mutex_);
        return ended_ || failure_;
    }
    // Inside the connection's lock: ends the stream and its timer, and lets go of the Playback.
    void finish();

    const std::string description_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<float> volume_{1.0f};

    mutable std::mutex mutex_;  // guards the three below: what the caller reads
    double position_ = 0.0;
    bool ended_ = false;
    std::optional<Failure> failure_;

    // On the starting thread, then inside the connection's lock:
    std::unique_ptr<SoundSource> source_;
    PulseConnection* connection_ = nullptr;
    pa_stream* stream_ = nullptr;
    pa_time_event* clock_ = nullptr;
    pa_operation* timingRequest_ = nullptr;
    pa_usec_t askedAt_ = 0;
    pa_operation* drain_ = nullptr;
    bool atEnd_ = false;
    std::vector<float> block_;
    std::shared_ptr<Playback> keepAlive_;  // while the stream lives
};

void PulseSoundPlayer::Playback::start(const std::shared_ptr<Playback>& self, SharedPulseConnection& server) {
    using Cause = Failure::Cause;
    if (stopRequested_) return;
    int rate = 0;
    try {
        rate = source_->open();
    } catch (const std::exception& e) {
        fail(Cause::unreadable, e.what());
        return;
    }
    const pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32NE, std::uint32_t(std::max(rate, 0)), 1};
    if (!pa_sample_spec_valid(&sampleSpec)) {
        fail(Cause::unreadable, "a sample rate of " + std::to_string(rate) + " Hz cannot be played");
        return;
    }
    const auto failure = server.use([&](PulseConnection& connection) {
        const PulseConnection::Lock lock(connection);
        connection_ = &connection;
        stream_ = pa_stream_new(connection.context(), "Sound", &sampleSpec, nullptr);
        if (!stream_) {
            fail(Cause::soundServerUnreachable, connection.lastError());
            return;
        }
        pa_stream_set_state_callback(stream_, &Playback::streamStateChanged, this);
        pa_stream_set_write_callback(stream_, &Playback::streamWritable, this);
        keepAlive_ = self;
        pa_stream* stream = stream_;
        const bool ready =
            pa_stream_connect_playback(stream, nullptr, nullptr, PA_STREAM_NOFLAGS, nullptr, nullptr) == 0 &&
            connection.waitUntil([stream] {
                const pa_stream_state_t state = pa_stream_get_state(stream);
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            }) &&
            pa_stream_get_state(stream) == PA_STREAM_READY;
        if (!ready) {
            fail(Cause::soundServerUnreachable, "the sound server did not take the sound: " + connection.lastError());
            finish();
            return;
        }
        clock_ = pa_context_rttime_new(connection.context(), pa_rtclock_now() + tickMicroseconds, &Playback::tick, this);
    });
    if (failure) fail(failure->threadRefused ? Cause::threadRefused : Cause::soundServerUnreachable, failure->reason);
}

void PulseSoundPlayer::Playback::streamStateChanged(pa_stream* stream, void* data) {
    auto* self = static_cast<Playback*>(data);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        self->fail(Failure::Cause::soundServerUnreachable,
                   std::string("the sound server ended the sound: ") +
                       pa_strerror(pa_context_errno(pa_stream_get_context(stream))));
    }
    self->connection_->signal();
}

void PulseSoundPlayer::Playback::streamWritable(pa_stream* stream, std::size_t bytes, void* data) {
    auto* self = static_cast<Playback*>(data);
    if (self->stopRequested_ || self->atEnd_) return;
    std::vector<float>& block = self->block_;
    block.resize(bytes / sizeof(float));
    std::size_t filled = 0;
    try {
        while (filled < block.size()) {
            const std::size_t count = self->source_->read(std::span(block).subspan(filled));
            if (count == 0) {
                self->atEnd_ = true;
                break;
            }
            filled += count;
        }
    } catch (const std::exception& e) {
        self->atEnd_ = true;
        self->fail(Failure::Cause::unreadable, e.what());
        return;
    }
    const float volume = self->volume_;
    for (std::size_t i = 0; i < filled; ++i) block[i] *= volume;
    if (filled > 0) pa_stream_write(stream, block.data(), filled * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
    // The end is reached once the server has played everything written.
    if (self->atEnd_) self->drain_ = pa_stream_drain(stream, &Playback::drained, self);
}

void PulseSoundPlayer::Playback::drained(pa_stream* stream, int success, void* data) {
    auto* self = static_cast<Playback*>(data);
    if (!success) {
        self->fail(Failure::Cause::soundServerUnreachable,
                   std::string("the sound server did not play the sound to its end: ") +
                       pa_strerror(pa_context_errno(pa_stream_get_context(stream))));
        return;
    }
    std::lock_guard lock(self->mutex_);
    self->ended_ = true;
}

void PulseSoundPlayer::Playback::timingAnswered(pa_stream* stream, int success, void* data) {
    auto* self = static_cast<Playback*>(data);
    pa_usec_t played = 0;
    if (!success || pa_stream_get_time(stream, &played) < 0) return;
    std::lock_guard lock(self->mutex_);
    self->position_ = double(played) / double(PA_USEC_PER_SEC);
}

void PulseSoundPlayer::Playback::tick(pa_mainloop_api*, pa_time_event* event, const struct timeval*, void* data) {
    auto* self = static_cast<Playback*>(data);
    if (self->stopRequested_ || self->over()) {
        self->finish();
        return;
    }
    const pa_usec_t now = pa_rtclock_now();
    if (self->timingRequest_ && pa_operation_get_state(self->timingRequest_) != PA_OPERATION_RUNNING) {
        pa_operation_unref(self->timingRequest_);
        self->timingRequest_ = nullptr;
    }
    if (!self->timingRequest_) {
        self->timingRequest_ = pa_stream_update_timing_info(self->stream_, &Playback::timingAnswered, self);
        self->askedAt_ = now;
    } else if (now - self->askedAt_ >= answerLimitMicroseconds) {
        self->fail(Failure::Cause::soundServerUnreachable,
                   "the sound server did not answer for " +
                       std::to_string(answerLimitMicroseconds / PA_USEC_PER_MSEC) + " ms");
        self->finish();
        return;
    }
    pa_context_rttime_restart(self->connection_->context(), event, now + tickMicroseconds);
}

void PulseSoundPlayer::Playback::finish() {
    PulseConnection::cancel(timingRequest_);
    PulseConnection::cancel(drain_);
    connection_->freeTimer(clock_);
    PulseConnection::endStream(stream_);
    // Possibly the last share: the Playback goes once this returns.
    const std::shared_ptr<Playback> last = std::move(keepAlive_);
}

PulseSoundPlayer::PulseSoundPlayer(std::unique_ptr<SoundSource> source, std::shared_ptr<SharedPulseConnection> server)
    : playback_(std::make_shared<Playback>(std::move(source))), server_(std::move(server)) {}

PulseSoundPlayer::~PulseSoundPlayer() { playback_->stop(); }

void PulseSoundPlayer::setVolume(float volume) { playback_->setVolume(volume); }

void PulseSoundPlayer::play() {
    if (started_) return;
    started_ = true;
    if (!server_->run([playback = playback_, server = server_] { playback->start(playback, *server); })) {
        playback_->fail(Failure::Cause::threadRefused, "the system refused a thread for the sound");
    }
}

void PulseSoundPlayer::pause() { playback_->stop(); }

double PulseSoundPlayer::currentTime() const { return playback_->position(); }

bool PulseSoundPlayer::ended() const { return playback_->ended(); }

std::optional<SoundPlayer::Failure> PulseSoundPlayer::failure() const { return playback_->failure(); }
