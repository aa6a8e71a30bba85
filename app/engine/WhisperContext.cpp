#include "engine/WhisperContext.h"

#include <QString>

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "engine/WhisperError.h"
#include "platform/AppLog.h"
#include "platform/ReadableFile.h"

namespace {

// The processors this thread may run on (a CPU set given by taskset or a container); all online ones when the
// system cannot say.
long usableProcessors() {
    // A machine with more processors than the default set holds needs a larger set.
    for (int size = CPU_SETSIZE; size <= (1 << 16); size *= 2) {
        cpu_set_t* set = CPU_ALLOC(size);
        if (!set) break;
        const std::size_t bytes = CPU_ALLOC_SIZE(size);
        const bool known = sched_getaffinity(0, bytes, set) == 0;
        const int error = errno;
        const int count = known ? CPU_COUNT_S(bytes, set) : 0;
        CPU_FREE(set);
        if (count > 0) return count;
        if (known || error != EINVAL) break;
    }
    return sysconf(_SC_NPROCESSORS_ONLN);
}

}  // namespace

WhisperContext::WhisperContext(whisper_context* context, Recognizer& recognizer)
    : context_(context), recognizer_(recognizer) {}

WhisperContext::~WhisperContext() { recognizer_.free(context_); }

std::shared_ptr<WhisperContext> WhisperContext::createContext(const std::string& path, Recognizer& recognizer) {
    // A FIFO or device in the file's place would hang or exhaust the recognizer's reader.
    try {
        ReadableFile::check(path, ReadableFile::Kind::model);
    } catch (const std::filesystem::filesystem_error& e) {
        AppLog::error("Couldn't load model at " + path + ": " + e.code().message());
        throw WhisperError(WhisperError::Case::couldNotInitializeContext);
    }
    whisper_context* context = recognizer.initFromFile(path.c_str());
    if (!context) {
        AppLog::error("Couldn't load model at " + path);
        throw WhisperError(WhisperError::Case::couldNotInitializeContext);
    }
    return std::shared_ptr<WhisperContext>(new WhisperContext(context, recognizer));
}

int WhisperContext::threadCount(long processors) {
    return int(std::min<long>(std::max<long>(processors - 2, 1), 8));
}

WhisperContext::Turn::Turn(WhisperContext& owner) : owner_(owner) {
    std::unique_lock lock(owner_.mutex_);
    const std::uint64_t ticket = owner_.nextTicket_++;
    owner_.turnChanged_.wait(lock, [&] { return owner_.servingTicket_ == ticket; });
}

WhisperContext::Turn::~Turn() {
    {
        std::lock_guard lock(owner_.mutex_);
        ++owner_.servingTicket_;
    }
    owner_.turnChanged_.notify_all();
}

void WhisperContext::fullTranscribe(std::span<const float> samples, const std::string& prompt,
                                    const std::string& language, bool translate, bool speedUp) {
    Turn turn(*this);
    runLocked(samples, prompt, language, translate, speedUp);
}

std::string WhisperContext::joinedSegmentText() {
    Turn turn(*this);
    return joinedSegmentTextLocked();
}

std::string WhisperContext::transcribe(std::span<const float> samples, const std::string& prompt,
                                       const std::string& language, bool translate, bool speedUp, bool* finished) {
    Turn turn(*this);
    const RunOutcome outcome = runLocked(samples, prompt, language, translate, speedUp);
    if (finished) *finished = outcome == RunOutcome::finished;
    if (outcome == RunOutcome::notMade) return {};
    return joinedSegmentTextLocked();
}

void WhisperContext::abort() { aborted_ = true; }

WhisperContext::RunOutcome WhisperContext::runLocked(std::span<const float> samples, const std::string& prompt,
                                                     const std::string& language, bool translate, bool speedUp) {
    if (aborted_) return RunOutcome::notMade;
    // The count travels as a 32-bit int: a longer recording (over 37 hours) is refused rather than cut short.
    if (samples.size() > std::size_t(std::numeric_limits<int>::max())) {
        AppLog::error("Failed to run the model");
        return RunOutcome::endedEarly;
    }
    whisper_full_params params = recognizer_.fullDefaultParams(WHISPER_SAMPLING_GREEDY);
    params.n_threads = threadCount(usableProcessors());
    params.offset_ms = 0;
    params.translate = translate;
    params.no_context = true;
    params.single_segment = false;
    params.print_special = false;
    params.print_progress = false;
    // The recognizer would print each segment's text to stdout, which the session's journal keeps: dictations
    // stay out of every log.
    params.print_realtime = false;
    params.print_timestamps = true;
    params.speed_up = speedUp;
    params.initial_prompt = prompt.c_str();  // "" stays an empty prompt, never none
    params.language = language.c_str();
    params.abort_callback = [](void* aborted) { return static_cast<std::atomic<bool>*>(aborted)->load(); };
    params.abort_callback_user_data = &aborted_;

    recognizer_.resetTimings(context_);
    if (recognizer_.full(context_, params, samples.data(), int(samples.size())) != 0) {
        if (aborted_) {
            AppLog::info("Recognition stopped");
        } else {
            AppLog::error("Failed to run the model");
        }
        return RunOutcome::endedEarly;
    }
    recognizer_.printTimings(context_);
    return RunOutcome::finished;
}

std::string WhisperContext::joinedSegmentTextLocked() {
    std::string bytes;
    const int count = recognizer_.fullSegmentCount(context_);
    for (int i = 0; i < count; ++i) {
        if (const char* text = recognizer_.fullSegmentText(context_, i)) bytes += text;
    }
    // Joined first, then repaired, so that a character split across two segments survives.
    return QString::fromUtf8(bytes).toStdString();
}
