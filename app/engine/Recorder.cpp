#include "engine/Recorder.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "engine/ErrorCapture.h"
#include "engine/PcmBuffer.h"
#include "engine/RecorderError.h"
#include "engine/Recording.h"
#include "engine/VoiceActivityRule.h"
#include "engine/WavFile.h"
#include "platform/AppLog.h"
#include "platform/MonotonicClock.h"
#include "platform/SampleRateConverter.h"
#include "platform/SettingsStore.h"

namespace fs = std::filesystem;

namespace {

// The error a capture failure is told as: the device's, the sound server's, or for any other cause `otherwise`.
RecorderError::Case recorderErrorCase(CaptureFailure::Cause cause, RecorderError::Case otherwise) {
    switch (cause) {
        case CaptureFailure::Cause::deviceUnavailable: return RecorderError::Case::audioDeviceNotAvailable;
        case CaptureFailure::Cause::soundServerUnreachable: return RecorderError::Case::soundServerUnreachable;
        case CaptureFailure::Cause::threadRefused: return RecorderError::Case::threadRefused;
        case CaptureFailure::Cause::other: break;
    }
    return otherwise;
}

std::optional<PcmBuffer::SampleFormat> pcmFormat(CaptureFormat::SampleType type) {
    switch (type) {
        case CaptureFormat::SampleType::int16: return PcmBuffer::SampleFormat::int16;
        case CaptureFormat::SampleType::int32: return PcmBuffer::SampleFormat::int32;
        case CaptureFormat::SampleType::float32: return PcmBuffer::SampleFormat::float32;
        case CaptureFormat::SampleType::float64: return PcmBuffer::SampleFormat::float64;
        case CaptureFormat::SampleType::unknown: break;
    }
    return std::nullopt;
}

// The delivered block as a PCM buffer of its own format. At most the buffer's capacity is copied: a block longer than
// its frame count is cut, a shorter one leaves the rest silent.
std::optional<PcmBuffer> convertToPCMBuffer(const CapturedBuffer& buffer) {
    const auto format = pcmFormat(buffer.format.sampleType);
    if (!format || !buffer.format.isUsable() || buffer.data.data() == nullptr) return std::nullopt;
    if (buffer.frameCount < 0 || buffer.frameCount > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    const auto frames = static_cast<std::uint32_t>(buffer.frameCount);
    try {
        PcmBuffer pcm(*format, buffer.format.sampleRate, std::uint32_t(buffer.format.channelCount), true, frames);
        pcm.setFrameLength(frames);
        std::memcpy(pcm.data(), buffer.data.data(), std::min(buffer.data.size(), pcm.byteCapacity()));
        return pcm;
    } catch (const std::bad_alloc&) {
        return std::nullopt;  // a frame count no device delivers
    }
}

std::optional<PcmBuffer> resampleBuffer(const PcmBuffer& pcm, const CaptureFormat& format,
                                        SampleRateConverter& converter) {
    const auto samples = converter.convert(format, pcm.data(), pcm.frameLength());
    if (!samples) {
        AppLog::error("Error downsampling file");
        return std::nullopt;
    }
    if (samples->size() > std::numeric_limits<std::uint32_t>::max()) {
        AppLog::error("Failed to create output buffer");
        return std::nullopt;
    }
    const auto frames = static_cast<std::uint32_t>(samples->size());
    PcmBuffer converted(PcmBuffer::SampleFormat::float32, Recorder::sampleRate, 1, true, frames);
    if (frames > 0) std::memcpy(converted.floatChannelData(0), samples->data(), frames * sizeof(float));
    converted.setFrameLength(frames);
    return converted;
}

}  // namespace

Recorder::Recorder(std::shared_ptr<CaptureBackend> backend, SettingsStore& settings, Clock now, QObject* parent)
    : QObject(parent),
      backend_(std::move(backend)),
      settings_(settings),
      now_(std::move(now)),
      onVoiceDetected_([](std::vector<float>) { return std::string(); }),
      lastHeartbeat_(now_()) {}

Recorder::Recorder(std::shared_ptr<CaptureBackend> backend, QObject* parent)
    : Recorder(std::move(backend), SettingsStore::standard(), &MonotonicClock::nowMilliseconds, parent) {}

Recorder::~Recorder() {
    std::shared_ptr<CaptureSession> session;
    {
        std::lock_guard lock(mutex_);
        session = std::move(captureSession_);
        audioDataOutput_.reset();
    }
    // Outside the lock: stopping waits for the capture thread, which may be waiting for it. Stopped explicitly, since
    // the owner may still hold the session and its buffers must not reach a destroyed Recorder.
    if (session) session->stopRunning();
    session.reset();
    // A heartbeat ends with its realtime run, which a quit stops; an owner that cannot wait long waits for the
    // heartbeats itself first (waitForHeartbeats) and does not destroy a recorder whose heartbeat still runs.
    heartbeats_.waitForDone();
}

std::string Recorder::selectedDeviceID() const { return settings_.stringValue("selectedDeviceID", ""); }
bool Recorder::useDefaultAudioDevice() const { return settings_.boolValue("useDefaultAudioDevice", true); }
bool Recorder::realtimeResultsEnabled() const { return settings_.boolValue("realtimeResultsEnabled", false); }

void Recorder::startRecording() {
    std::shared_ptr<CaptureSession> session = backend_->makeSession();

    const std::string deviceID = selectedDeviceID();
    const CaptureBackend::Lookup found =
        useDefaultAudioDevice() ? backend_->defaultDevice() : backend_->device(deviceID);
    if (!found.device && found.unreachable) {
        AppLog::error("Could not look up the audio device: " + *found.unreachable);
        throw RecorderError(found.threadRefused ? RecorderError::Case::threadRefused
                                                : RecorderError::Case::soundServerUnreachable);
    }
    if (!found.device) {
        AppLog::error("Could not find the selected audio device " + deviceID);
        throw RecorderError::couldNotFindAudioDevice(deviceID);
    }
    const CaptureDevice& device = *found.device;

    const bool granted =
        backend_->authorizationStatus() == CaptureBackend::Authorization::authorized || backend_->requestAccess();
    if (!granted) {
        AppLog::error("Does not have microphone access");
        throw RecorderError(RecorderError::Case::deviceRecordPermissionNotGranted);
    }

    if (const auto problem = session->makeInput(device)) {
        AppLog::error("Could not create AVCaptureDeviceInput: " + problem->reason);
        throw RecorderError(recorderErrorCase(problem->cause, RecorderError::Case::audioDeviceNotAvailable));
    }
    if (!session->addInput()) {
        AppLog::error("Could not add audio input to capture session");
        throw RecorderError(RecorderError::Case::couldNotAddAudioInput);
    }

    std::uint64_t generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = ++lastGeneration_;
        startingGeneration_ = generation;
        earlySamples_.clear();
    }
    const auto abandon = [this, generation] {
        std::lock_guard lock(mutex_);
        if (startingGeneration_ == generation) {
            startingGeneration_ = 0;
            earlySamples_ = {};
        }
    };
    auto converter = std::make_shared<SampleRateConverter>();
    auto output = std::make_shared<CaptureOutput>(
        [this, generation, converter](const CapturedBuffer& buffer) {
            processSampleBuffer(buffer, generation, *converter);
        },
        [this, generation](const CaptureFailure& failure) { captureDidFail(generation, failure); });
    if (!session->addOutput(output)) {
        abandon();
        AppLog::error("Could not add audio data output to capture session");
        throw RecorderError(RecorderError::Case::couldNotAddAudioOutput);
    }

    if (const auto failure = session->startRunning()) {
        abandon();
        AppLog::error("Could not start the capture session: " + failure->reason);
        throw RecorderError(recorderErrorCase(failure->cause, RecorderError::Case::couldNotStartRecording));
    }

    std::shared_ptr<CaptureSession> previous;
    {
        std::lock_guard lock(mutex_);
        // Capture already runs: what arrived since the start belongs to this recording.
        lastHeartbeat_ = now_();
        lastRealtimeRunIndex_ = 0;
        rawFloatData_ = std::exchange(earlySamples_, {});
        rawFloatData_.reserve(std::size_t(sampleRate) * 60);  // a minute without reallocating under the lock
        currentGeneration_ = generation;
        startingGeneration_ = 0;
        previous = std::exchange(captureSession_, session);
        audioDataOutput_ = output;
    }
}

void Recorder::processSampleBuffer(const CapturedBuffer& buffer, std::uint64_t generation,
                                   SampleRateConverter& converter) {
    const std::optional<PcmBuffer> pcm = convertToPCMBuffer(buffer);
    if (!pcm) {
        AppLog::error("Could not convert to PCMBuffer");
        return;
    }
    const std::optional<PcmBuffer> converted = resampleBuffer(*pcm, buffer.format, converter);
    if (!converted) {
        AppLog::error("Could not resample buffer");
        return;
    }
    auto channels = floatChannels(*converted);
    if (!channels || channels->empty()) channels = std::vector<std::vector<float>>{{}};
    const std::vector<float>& samples = channels->front();

    const bool realtime = realtimeResultsEnabled();
    bool startHeartbeat = false;
    {
        std::lock_guard lock(mutex_);
        if (generation == currentGeneration_) {
            rawFloatData_.insert(rawFloatData_.end(), samples.begin(), samples.end());
            if (realtime) {
                const std::uint64_t now = now_();
                if (now - lastHeartbeat_ > std::uint64_t(VoiceActivityRule::heartbeatIntervalMilliseconds)) {
                    lastHeartbeat_ = now;
                    startHeartbeat = true;
                }
            }
        } else if (generation == startingGeneration_) {
            earlySamples_.insert(earlySamples_.end(), samples.begin(), samples.end());
        } else {
            return;  // a session that has been replaced
        }
    }
    if (startHeartbeat) startHeartbeatTask();

    const std::vector<int> levels = reduceSamples(samples, 100);
    publishReducedSamples(QList<int>(levels.begin(), levels.end()));
}

void Recorder::publishReducedSamples(QList<int> levels) {
    QMetaObject::invokeMethod(
        this,
        [this, levels = std::move(levels)] {
            reducedSamples_ = levels;
            emit reducedSamplesChanged();
        },
        Qt::QueuedConnection);
}

void Recorder::captureDidFail(std::uint64_t generation, const CaptureFailure& failure) {
    {
        std::lock_guard lock(mutex_);
        if (generation != currentGeneration_ && generation != startingGeneration_) return;
    }
    const RecorderError error(recorderErrorCase(failure.cause, RecorderError::Case::audioDeviceNotAvailable));
    AppLog::error("Audio capture stopped: " + failure.reason);
    error.capture();
    const QString text = QString::fromStdString(error.errorDescription());
    QMetaObject::invokeMethod(this, [this, text] { emit captureFailed(text); }, Qt::QueuedConnection);
}

void Recorder::startHeartbeatTask() {
    if (heartbeats_.start([this] { heartbeat(); })) {
        heartbeatRefused_ = false;
    } else if (!heartbeatRefused_.exchange(true)) {
        AppLog::error("A realtime heartbeat was skipped: the system refused a thread for it");
    }
}

void Recorder::heartbeat() {
    std::vector<float> chunk;
    VoiceHandler handler;
    {
        // Heartbeats run one at a time up to the index update, so that no sample is handed over twice.
        std::lock_guard serial(heartbeatMutex_);
        std::vector<float> window;
        std::size_t count = 0;
        std::size_t previousIndex = 0;
        std::uint64_t generation = 0;
        {
            std::lock_guard lock(mutex_);
            count = rawFloatData_.size();
            previousIndex = lastRealtimeRunIndex_;
            generation = currentGeneration_;
            const auto fresh = std::int64_t(count) - 1 - std::int64_t(previousIndex);
            if (fresh < std::int64_t(VoiceActivityRule::heartbeatWindowSampleCount)) return;
            window = makeFloatArray(rawFloatData_, count - VoiceActivityRule::heartbeatWindowSampleCount, count);
        }
        if (!VoiceActivityRule::fires(window)) return;
        std::lock_guard lock(mutex_);
        if (generation != currentGeneration_) return;  // a new recording started meanwhile
        lastRealtimeRunIndex_ = count - 1;
        chunk = makeFloatArray(rawFloatData_, previousIndex + 1, count);
        handler = onVoiceDetected_;
    }
    if (!handler) return;
    try {
        handler(std::move(chunk));
    } catch (const std::exception& e) {
        AppLog::error(std::string("Realtime transcription failed: ") + e.what());
    }
}

std::shared_ptr<CaptureSession> Recorder::captureSession() const {
    std::lock_guard lock(mutex_);
    return captureSession_;
}

void Recorder::setCaptureSession(std::shared_ptr<CaptureSession> session) {
    {
        std::lock_guard lock(mutex_);
        std::swap(captureSession_, session);
    }
    session.reset();  // a released session stops outside the lock
}

std::shared_ptr<CaptureOutput> Recorder::audioDataOutput() const {
    std::lock_guard lock(mutex_);
    return audioDataOutput_;
}

void Recorder::setAudioDataOutput(std::shared_ptr<CaptureOutput> output) {
    std::lock_guard lock(mutex_);
    audioDataOutput_ = std::move(output);
}

void Recorder::setOnVoiceDetected(VoiceHandler handler) {
    std::lock_guard lock(mutex_);
    onVoiceDetected_ = std::move(handler);
}

std::vector<float> Recorder::rawFloatData() const {
    std::lock_guard lock(mutex_);
    return rawFloatData_;
}

std::size_t Recorder::lastRealtimeRunIndex() const {
    std::lock_guard lock(mutex_);
    return lastRealtimeRunIndex_;
}

std::uint64_t Recorder::lastHeartbeat() const {
    std::lock_guard lock(mutex_);
    return lastHeartbeat_;
}

std::vector<int> Recorder::reduceSamples(std::span<const float> samples, int count) {
    const std::size_t n = samples.size();
    if (n == 0 || count <= 0 || n <= std::size_t(count)) return {};
    std::vector<float> picks{samples[0]};
    const double step = double(n) / double(count);
    double position = 0.0;
    for (int k = 1; k <= count; ++k) {
        position += step;  // repeated addition, as the levels have always been picked
        const auto index = std::size_t(position);
        if (index >= n) break;
        picks.push_back(samples[index]);
    }
    float largest = 1.0f;
    for (float& pick : picks) {
        pick = std::fabs(pick);
        if (std::isfinite(pick)) largest = std::max(largest, pick);
    }
    std::vector<int> levels;
    levels.reserve(picks.size());
    // A sample that is not a number or infinite has no level; it shows as silence.
    for (const float pick : picks) levels.push_back(std::isfinite(pick) ? int((pick / largest) * 100.0f) : 0);
    return levels;
}

std::vector<float> Recorder::trimForTranscription(std::span<const float> samples, float threshold) {
    if (samples.empty()) return {};
    const std::size_t length = samples.size() > 4000 ? samples.size() - 4000 : samples.size();
    std::size_t last = length;
    for (std::size_t i = length; i-- > 0;) {
        if (std::fabs(samples[i]) > threshold) {
            last = i;
            break;
        }
    }
    if (last == length) return {};
    const std::size_t end = std::min(last + 2000, length - 1);
    return makeFloatArray(samples, 0, end + 1);
}

std::optional<float> Recorder::maxLevel(std::span<const float> samples) {
    if (samples.empty()) return std::nullopt;
    float level = samples[0];
    for (const float sample : samples.subspan(1)) {
        if (level < sample) level = sample;
    }
    return level;
}

std::vector<float> Recorder::makeFloatArray(std::span<const float> samples, std::size_t start, std::size_t end) {
    end = std::min(end, samples.size());
    if (start >= end) return {};
    return std::vector<float>(samples.begin() + std::ptrdiff_t(start), samples.begin() + std::ptrdiff_t(end));
}

fs::path Recorder::saveRecording(std::span<const float> samples) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    fs::path folder;
    try {
        // A fresh folder: a second dictation saved within the same second gets the next free one.
        folder = makeHeldRecordingFolder(seconds);
    } catch (const fs::filesystem_error& e) {
        captureSystemError(e.code(), e.what());
        AppLog::error("Could not form output file URL");
        throw;
    }
    const fs::path location = folder / "output.wav";
    try {
        writeWavFile(samples, location, sampleRate);
    } catch (const fs::filesystem_error& e) {
        AppLog::error(std::string("Could not write to wav file, ") + e.what());
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        releaseRecordingFolder(folder);
        throw;
    }
    return location;
}
