#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/CaptureBackend.h"
#include "platform/CaptureOutput.h"
#include "platform/CaptureSession.h"
#include "platform/CapturedBuffer.h"
#include "platform/TaskThreads.h"

class SettingsStore;
class SampleRateConverter;

// Records the chosen microphone as 16 kHz mono float samples. The controller starts a recording, stops it by stopping
// and clearing the session, and takes the samples; the recording window observes the levels of the latest buffer.
// With realtime results on, the heartbeat cuts the growing recording into chunks at the speaker's pauses.
//
// The samples, the realtime run index and the heartbeat time are shared by the capture thread, the heartbeat tasks,
// the starting task and the owner; one mutex guards them, and every reader gets a consistent copy.
class Recorder : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<int> reducedSamples READ reducedSamples NOTIFY reducedSamplesChanged)

public:
    static constexpr int sampleRate = 16000;

    // Receives each realtime chunk on a heartbeat task; the returned text is not used.
    using VoiceHandler = std::function<std::string(std::vector<float> chunk)>;
    using Clock = std::function<std::uint64_t()>;  // now in milliseconds

    Recorder(std::shared_ptr<CaptureBackend> backend, SettingsStore& settings, Clock now, QObject* parent = nullptr);
    explicit Recorder(std::shared_ptr<CaptureBackend> backend, QObject* parent = nullptr);
    ~Recorder() override;

    // Opens the selected (or default) device and starts capture; throws RecorderError. The samples of the previous
    // recording are replaced only once the new capture runs.
    void startRecording();

    // The heartbeat of the realtime mode; the sample path starts it on a task of its own. A heartbeat whose thread the
    // system refuses is skipped (and logged, once until one starts again): the next buffer brings the next one.
    void heartbeat();
    // Waits until the heartbeats started have ended, or `timeout` has passed; whether they all ended. The recorder
    // must not be destroyed while one runs.
    bool waitForHeartbeats(std::chrono::milliseconds timeout) const { return heartbeats_.waitForDone(timeout); }

    std::shared_ptr<CaptureSession> captureSession() const;
    // The owner stops a recording by stopping the session and clearing it (a cleared session stops by itself).
    void setCaptureSession(std::shared_ptr<CaptureSession> session);
    std::shared_ptr<CaptureOutput> audioDataOutput() const;
    void setAudioDataOutput(std::shared_ptr<CaptureOutput> output);

    void setOnVoiceDetected(VoiceHandler handler);

    // A copy of every sample of the current (or last) recording, in capture order.
    std::vector<float> rawFloatData() const;
    std::size_t lastRealtimeRunIndex() const;
    std::uint64_t lastHeartbeat() const;
    QList<int> reducedSamples() const { return reducedSamples_; }

    // Live settings.
    std::string selectedDeviceID() const;
    bool useDefaultAudioDevice() const;
    bool realtimeResultsEnabled() const;

    // Up to count + 1 levels (0...100) picked evenly from the samples; empty for count samples or fewer.
    static std::vector<int> reduceSamples(std::span<const float> samples, int count);
    // Drops the last 0.25 s, then the quiet tail after the last sample louder than the threshold, keeping 0.125 s
    // after it.
    static std::vector<float> trimForTranscription(std::span<const float> samples, float threshold);
    static std::optional<float> maxLevel(std::span<const float> samples);
    // The elements [start, end) of the samples; a range reaching beyond the samples is cut to them.
    static std::vector<float> makeFloatArray(std::span<const float> samples, std::size_t start, std::size_t end);

    // Writes the samples as output.wav of a new folder in the recordings store and returns the file's location. The
    // folder is held from the listing until its record is written (makeHeldRecordingFolder): the caller releases it.
    // Throws std::filesystem::filesystem_error when no folder can be made or the file cannot be written (a read-only or
    // full disk); the folder it made is removed again then, so that no half-written recording stays behind.
    static std::filesystem::path saveRecording(std::span<const float> samples);

signals:
    void reducedSamplesChanged();
    // Capture stopped on its own during a recording (the device or the sound server went away); the samples so far are
    // kept.
    void captureFailed(const QString& errorDescription);

private:
    void processSampleBuffer(const CapturedBuffer& buffer, std::uint64_t generation, SampleRateConverter& converter);
    void captureDidFail(std::uint64_t generation, const CaptureFailure& failure);
    void startHeartbeatTask();
    void publishReducedSamples(QList<int> levels);

    std::shared_ptr<CaptureBackend> backend_;
    SettingsStore& settings_;
    Clock now_;

    mutable std::mutex mutex_;  // guards every field below up to the heartbeat threads
    std::shared_ptr<CaptureSession> captureSession_;
    std::shared_ptr<CaptureOutput> audioDataOutput_;
    VoiceHandler onVoiceDetected_;
    std::vector<float> rawFloatData_;
    std::size_t lastRealtimeRunIndex_ = 0;
    std::uint64_t lastHeartbeat_ = 0;
    // Each start gets a generation. Buffers of the starting session that arrive before its reset are kept aside
    // (capture is already running then); buffers of a replaced session are dropped.
    std::uint64_t lastGeneration_ = 0;
    std::uint64_t currentGeneration_ = 0;
    std::uint64_t startingGeneration_ = 0;
    std::vector<float> earlySamples_;

    std::mutex heartbeatMutex_;  // one heartbeat at a time from the test of the new sample count to the index update
    TaskThreads heartbeats_;
    std::atomic<bool> heartbeatRefused_{false};  // the last heartbeat could not start: its refusal is logged
    QList<int> reducedSamples_;  // GUI thread only
};
