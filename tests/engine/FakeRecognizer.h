#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Recognizer.h"

namespace enginetest {

// A recognizer with scripted answers. A model file loads unless it holds the text "broken"; each run answers the next
// scripted list of segments (or `defaultSegments`) and is recorded with the parameters it got.
class FakeRecognizer : public Recognizer {
public:
    struct Run {
        std::vector<float> samples;
        std::string prompt;
        bool promptWasNull = false;
        std::string language;
        whisper_full_params params;
    };

    // Written into the default parameters, so that a test can tell which fields the caller left alone.
    static constexpr int defaultDurationMs = 4321;

    whisper_context* initFromFile(const char* path) override {
        std::lock_guard lock(mutex_);
        if (!std::filesystem::is_regular_file(path)) return nullptr;
        std::ifstream in(path, std::ios::binary);
        const std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (contents == "broken") return nullptr;
        ++loaded_;
        return reinterpret_cast<whisper_context*>(std::uintptr_t(loaded_) * 64);
    }
    void free(whisper_context* context) override {
        std::lock_guard lock(mutex_);
        freed_.push_back(context);
    }
    whisper_full_params fullDefaultParams(whisper_sampling_strategy strategy) override {
        whisper_full_params params{};
        params.strategy = strategy;
        params.duration_ms = defaultDurationMs;
        params.print_realtime = false;
        params.print_timestamps = false;
        params.no_context = false;
        return params;
    }
    void resetTimings(whisper_context*) override { calls("reset"); }
    int full(whisper_context*, whisper_full_params params, const float* samples, int count) override {
        {
            std::unique_lock lock(mutex_);
            calls_.push_back("full");
            if (running_) overlapped_ = true;
            running_ = true;
            Run run{std::vector<float>(samples, samples + count), params.initial_prompt ? params.initial_prompt : "",
                    params.initial_prompt == nullptr, params.language ? params.language : "", params};
            runs_.push_back(std::move(run));
            ++waiting_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return !held_; });
            --waiting_;
            if (!script_.empty()) {
                segments_ = script_.front();
                script_.pop_front();
            } else {
                segments_ = defaultSegments;
            }
            running_ = false;
        }
        return fullResult;
    }
    void printTimings(whisper_context*) override { calls("timings"); }
    int fullSegmentCount(whisper_context*) override {
        std::lock_guard lock(mutex_);
        return int(segments_.size());
    }
    const char* fullSegmentText(whisper_context*, int i) override {
        std::lock_guard lock(mutex_);
        return segments_.at(std::size_t(i)).c_str();
    }

    // Answers of the next runs, one list of segments per run.
    void script(std::vector<std::string> segments) {
        std::lock_guard lock(mutex_);
        script_.push_back(std::move(segments));
    }
    // While held, runs wait inside the recognizer.
    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        {
            std::lock_guard lock(mutex_);
            held_ = false;
        }
        changed_.notify_all();
    }
    void waitForWaitingRuns(int count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_ >= count; });
    }

    std::vector<Run> runs() const {
        std::lock_guard lock(mutex_);
        return runs_;
    }
    std::vector<std::string> callList() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<whisper_context*> freed() const {
        std::lock_guard lock(mutex_);
        return freed_;
    }
    bool overlapped() const {
        std::lock_guard lock(mutex_);
        return overlapped_;
    }

    std::vector<std::string> defaultSegments{" hello"};
    int fullResult = 0;

private:
    void calls(const char* name) {
        std::lock_guard lock(mutex_);
        calls_.push_back(name);
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int loaded_ = 0;
    bool held_ = false;
    bool running_ = false;
    bool overlapped_ = false;
    int waiting_ = 0;
    std::deque<std::vector<std::string>> script_;
    std::vector<std::string> segments_;
    std::vector<Run> runs_;
    std::vector<std::string> calls_;
    std::vector<whisper_context*> freed_;
};

// Writes a file the fake recognizer loads (or refuses, with "broken").
inline void writeFakeModel(const std::filesystem::path& file, const std::string& contents = "model") {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << contents;
}

}  // namespace enginetest
