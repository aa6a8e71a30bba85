#include "platform/QtCaptureSession.h"

#include <QAudioSource>
#include <QByteArray>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace {

CaptureFormat toCaptureFormat(const QAudioFormat& format) {
    CaptureFormat result;
    switch (format.sampleFormat()) {
        case QAudioFormat::Int16: result.sampleType = CaptureFormat::SampleType::int16; break;
        case QAudioFormat::Int32: result.sampleType = CaptureFormat::SampleType::int32; break;
        case QAudioFormat::Float: result.sampleType = CaptureFormat::SampleType::float32; break;
        default: result.sampleType = CaptureFormat::SampleType::unknown; break;
    }
    result.sampleRate = format.sampleRate();
    result.channelCount = format.channelCount();
    return result;
}

std::string describe(QAudio::Error error) {
    switch (error) {
        case QAudio::NoError: return "no error";
        case QAudio::OpenError: return "the device could not be opened (busy or gone)";
        case QAudio::IOError: return "reading from the device failed";
        case QAudio::UnderrunError: return "the device stopped delivering audio";
        case QAudio::FatalError: return "the audio device failed";
    }
    return "unknown audio error";
}

// Shorter fragments than the sound server's default, so that the first samples arrive soon after the start.
constexpr int fragmentMilliseconds = 20;
constexpr int devicePollMilliseconds = 250;

}  // namespace

// Receives the source's bytes on the capture thread and hands whole frames to the output; a frame split between two
// writes is kept until its rest arrives.
class QtCaptureSession::Sink : public QIODevice {
public:
    Sink(CaptureFormat format, std::shared_ptr<CaptureOutput> output, QObject* parent)
        : QIODevice(parent), format_(format), frameBytes_(format.bytesPerFrame()), output_(std::move(output)) {}

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 length) override {
        if (length <= 0 || frameBytes_ == 0) return length;
        const auto* bytes = reinterpret_cast<const unsigned char*>(data);
        std::size_t size = std::size_t(length);
        if (!pending_.isEmpty()) {
            pending_.append(data, length);
            bytes = reinterpret_cast<const unsigned char*>(pending_.constData());
            size = std::size_t(pending_.size());
        }
        const std::size_t frames = size / frameBytes_;
        const std::size_t whole = frames * frameBytes_;
        if (frames > 0) output_->deliver(CapturedBuffer{format_, std::int64_t(frames), {bytes, whole}});
        if (pending_.isEmpty()) {
            if (whole < size) pending_ = QByteArray(data + whole, qsizetype(size - whole));
        } else {
            pending_.remove(0, qsizetype(whole));
        }
        return length;
    }

private:
    CaptureFormat format_;
    std::size_t frameBytes_;
    std::shared_ptr<CaptureOutput> output_;
    QByteArray pending_;
};

QtCaptureSession::QtCaptureSession() = default;

QtCaptureSession::~QtCaptureSession() { stopRunning(); }

QAudioDevice QtCaptureSession::findDevice(const std::string& uniqueID) {
    const QByteArray id = QByteArray::fromStdString(uniqueID);
    for (const QAudioDevice& device : QMediaDevices::audioInputs()) {
        if (device.id() == id) return device;
    }
    return {};
}

std::optional<std::string> QtCaptureSession::makeInput(const CaptureDevice& device) {
    QAudioDevice found = findDevice(device.uniqueID);
    if (found.isNull()) return "the device " + device.uniqueID + " is no longer available";
    device_ = found;
    return std::nullopt;
}

bool QtCaptureSession::addInput() {
    if (device_.isNull() || format_) return false;
    QAudioFormat format = device_.preferredFormat();
    const auto sampleFormat = format.sampleFormat();
    if (sampleFormat != QAudioFormat::Int16 && sampleFormat != QAudioFormat::Int32 &&
        sampleFormat != QAudioFormat::Float) {
        format.setSampleFormat(QAudioFormat::Int16);
    }
    if (!format.isValid() || !device_.isFormatSupported(format)) return false;
    format_ = format;
    return true;
}

bool QtCaptureSession::addOutput(std::shared_ptr<CaptureOutput> output) {
    if (!format_ || output_ || !output) return false;
    output_ = std::move(output);
    return true;
}

std::optional<CaptureSession::StartFailure> QtCaptureSession::startRunning() {
    if (!format_ || !output_) return StartFailure{false, "the session has no input or no output"};
    if (thread_) return std::nullopt;
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName("audioDataQueue");
    thread_->start();
    context_ = new QObject;
    context_->moveToThread(thread_.get());
    std::optional<StartFailure> failure;
    QMetaObject::invokeMethod(context_, [&] { failure = startOnCaptureThread(); }, Qt::BlockingQueuedConnection);
    if (failure) stopRunning();
    return failure;
}

std::optional<CaptureSession::StartFailure> QtCaptureSession::startOnCaptureThread() {
    source_ = new QAudioSource(device_, *format_, context_);
    source_->setBufferSize(qsizetype(format_->bytesForDuration(fragmentMilliseconds * 1000)));
    sink_ = new Sink(toCaptureFormat(*format_), output_, context_);
    sink_->open(QIODevice::WriteOnly);
    QObject::connect(source_, &QAudioSource::stateChanged, context_, [this](QAudio::State) { checkStillCapturing(); });
    // A source that disappears leaves the stream active and silent, without an error; the device list tells.
    watchdog_ = new QTimer(context_);
    QObject::connect(watchdog_, &QTimer::timeout, context_, [this] {
        if (running_ && !stopping_ && findDevice(device_.id().toStdString()).isNull()) {
            reportFailure("the device " + device_.id().toStdString() + " was removed");
        }
    });
    watchdog_->start(devicePollMilliseconds);
    source_->start(sink_);
    if (source_->error() != QAudio::NoError || source_->state() == QAudio::StoppedState) {
        const QAudio::Error error = source_->error();
        return StartFailure{error == QAudio::OpenError || error == QAudio::NoError, describe(error)};
    }
    running_ = true;
    return std::nullopt;
}

void QtCaptureSession::checkStillCapturing() {
    if (stopping_ || !running_ || !source_) return;
    if (source_->state() == QAudio::StoppedState && source_->error() != QAudio::NoError) {
        reportFailure(describe(source_->error()));
    }
}

void QtCaptureSession::reportFailure(const std::string& reason) {
    running_ = false;
    if (source_) source_->stop();
    output_->fail(reason);
}

void QtCaptureSession::stopOnCaptureThread() {
    stopping_ = true;
    running_ = false;
    delete watchdog_;
    watchdog_ = nullptr;
    if (source_) source_->stop();
    delete source_;
    source_ = nullptr;
    delete sink_;
    sink_ = nullptr;
}

void QtCaptureSession::stopRunning() {
    if (!thread_) return;
    QMetaObject::invokeMethod(context_, [this] { stopOnCaptureThread(); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete context_;
    context_ = nullptr;
    thread_.reset();
}

bool QtCaptureSession::isRunning() const { return running_; }
