#pragma once

#include <QAudioDevice>
#include <QAudioFormat>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/CaptureSession.h"

class QObject;
class QThread;

// A capture session on a QAudioSource. Capture runs on a thread of its own named "audioDataQueue" (one per session),
// which delivers the buffers to the output in order. The format is the device's preferred one (rate and channels
// as the device offers them); only a device that prefers 8-bit samples is asked for 16-bit ones instead.
class QtCaptureSession : public CaptureSession {
public:
    QtCaptureSession();
    ~QtCaptureSession() override;

    // The input device with this id; a null device when there is none.
    static QAudioDevice findDevice(const std::string& uniqueID);

    std::optional<std::string> makeInput(const CaptureDevice& device) override;
    bool addInput() override;
    bool addOutput(std::shared_ptr<CaptureOutput> output) override;
    std::optional<StartFailure> startRunning() override;
    void stopRunning() override;
    bool isRunning() const override;

private:
    class Sink;

    std::optional<StartFailure> startOnCaptureThread();
    void stopOnCaptureThread();
    void checkStillCapturing();
    void reportFailure(const std::string& reason);

    QAudioDevice device_;
    std::optional<QAudioFormat> format_;
    std::shared_ptr<CaptureOutput> output_;
    std::unique_ptr<QThread> thread_;
    QObject* context_ = nullptr;  // lives on the capture thread; parent of the source and the sink
    class QAudioSource* source_ = nullptr;
    Sink* sink_ = nullptr;
    class QTimer* watchdog_ = nullptr;  // a timer must be stopped on the thread it runs on
    std::atomic<bool> running_{false};
    bool stopping_ = false;  // capture thread only
};
