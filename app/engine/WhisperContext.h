#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "engine/Recognizer.h"

// One loaded recognizer model. Its runs take turns in the order they arrive (a realtime chunk and the final run of a
// dictation queue here rather than overlap). The context is freed with the last reference to this object, so a
// replaced model stays alive until a run that still holds it has finished.
class WhisperContext {
public:
    // Loads the model file at `path`; logs and throws WhisperError::couldNotInitializeContext when it is not a regular
    // file within the model size cap or the recognizer cannot load it.
    static std::shared_ptr<WhisperContext> createContext(const std::string& path,
                                                         Recognizer& recognizer = Recognizer::library());
    ~WhisperContext();
    WhisperContext(const WhisperContext&) = delete;
    WhisperContext& operator=(const WhisperContext&) = delete;

    // Recognizes 16 kHz mono samples with `prompt` as the text that came before and `language` as a language id
    // ("auto" detects it). A failed run is logged; nothing is thrown.
    void fullTranscribe(std::span<const float> samples, const std::string& prompt, const std::string& language,
                        bool translate, bool speedUp);
    // The texts of the last run's segments, joined exactly as the recognizer gave them (its leading spaces kept).
    std::string joinedSegmentText();
    // A run and the read of its segments in one turn, so that no queued run can replace the text in between. When
    // given, `finished` is set to whether the run went to its end: false when it was aborted or failed.
    std::string transcribe(std::span<const float> samples, const std::string& prompt, const std::string& language,
                           bool translate, bool speedUp, bool* finished = nullptr);
    // Ends the running recognition early (the recognizer stops between two encoder layers or decoder steps, keeping
    // the text of the windows it finished) and every later one at once. Any thread.
    void abort();

    // The recognizer's worker threads for `processors` processors the process may use: two fewer, at least 1, at
    // most 8.
    static int threadCount(long processors);

private:
    WhisperContext(whisper_context* context, Recognizer& recognizer);

    // Holds the context for one caller at a time, first come first served.
    class Turn {
    public:
        explicit Turn(WhisperContext& owner);
        ~Turn();

    private:
        WhisperContext& owner_;
    };

    enum class RunOutcome { notMade, endedEarly, finished };
    // notMade when recognition was aborted before the run; endedEarly when it was aborted during the run or failed.
    RunOutcome runLocked(std::span<const float> samples, const std::string& prompt, const std::string& language,
                         bool translate, bool speedUp);
    std::string joinedSegmentTextLocked();

    whisper_context* const context_;
    Recognizer& recognizer_;
    std::mutex mutex_;
    std::condition_variable turnChanged_;
    std::uint64_t nextTicket_ = 0;
    std::uint64_t servingTicket_ = 0;
    std::atomic<bool> aborted_{false};
};
