#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/CaptureBackend.h"

namespace capturetest {

class FakeCaptureBackend;

// A session that records what was asked of it and delivers buffers only when the test says so, on the test's thread.
class FakeCaptureSession : public CaptureSession {
public:
    explicit FakeCaptureSession(FakeCaptureBackend& backend) : backend_(backend) {}

    std::optional<CaptureFailure> makeInput(const CaptureDevice& device) override;
    bool addInput() override;
    bool addOutput(std::shared_ptr<CaptureOutput> output) override;
    std::optional<CaptureFailure> startRunning() override;
    void stopRunning() override { running_ = false; }
    bool isRunning() const override { return running_; }

private:
    FakeCaptureBackend& backend_;
    std::shared_ptr<CaptureOutput> output_;
    bool running_ = false;
};

// Devices, permission and session behaviour as a test sets them up. `calls` lists every step the Recorder took.
class FakeCaptureBackend : public CaptureBackend {
public:
    std::optional<CaptureDevice> defaultCaptureDevice = CaptureDevice{"default-mic", "Built-in microphone"};
    std::vector<CaptureDevice> devices{{"default-mic", "Built-in microphone"}, {"usb-mic", "USB microphone"}};
    Authorization status = Authorization::authorized;
    bool accessAnswer = true;
    std::optional<CaptureFailure> inputProblem;
    bool inputAccepted = true;
    bool outputAccepted = true;
    std::optional<CaptureFailure> startFailure;
    // Runs inside startRunning, after capture has begun (buffers that arrive before the start returns).
    std::function<void(CaptureOutput&)> whileStarting;

    std::vector<std::string> calls;
    std::shared_ptr<CaptureOutput> lastOutput;  // the output of the latest session that got one

    Lookup defaultDevice() override {
        calls.push_back("defaultDevice");
        return {defaultCaptureDevice, std::nullopt};
    }
    Lookup device(const std::string& uniqueID) override {
        calls.push_back("device:" + uniqueID);
        for (const auto& d : devices) {
            if (d.uniqueID == uniqueID) return {d, std::nullopt};
        }
        return {};
    }
    Authorization authorizationStatus() override {
        calls.push_back("authorizationStatus");
        return status;
    }
    bool requestAccess() override {
        calls.push_back("requestAccess");
        return accessAnswer;
    }
    std::unique_ptr<CaptureSession> makeSession() override {
        calls.push_back("makeSession");
        return std::make_unique<FakeCaptureSession>(*this);
    }

    void deliver(const CapturedBuffer& buffer) const { lastOutput->deliver(buffer); }
};

inline std::optional<CaptureFailure> FakeCaptureSession::makeInput(const CaptureDevice& device) {
    backend_.calls.push_back("makeInput:" + device.uniqueID);
    return backend_.inputProblem;
}

inline bool FakeCaptureSession::addInput() {
    backend_.calls.push_back("addInput");
    return backend_.inputAccepted;
}

inline bool FakeCaptureSession::addOutput(std::shared_ptr<CaptureOutput> output) {
    backend_.calls.push_back("addOutput");
    if (!backend_.outputAccepted) return false;
    output_ = output;
    backend_.lastOutput = std::move(output);
    return true;
}

inline std::optional<CaptureFailure> FakeCaptureSession::startRunning() {
    backend_.calls.push_back("startRunning");
    if (backend_.startFailure) return backend_.startFailure;
    running_ = true;
    if (backend_.whileStarting) backend_.whileStarting(*output_);
    return std::nullopt;
}

}  // namespace capturetest
