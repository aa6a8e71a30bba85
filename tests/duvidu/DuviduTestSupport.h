#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Duvidu/DuviduCurrentDate.h"
#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduRandomProtocol.h"

namespace duvidutest {

// Collects the SDK's log lines instead of printing them.
class TestLogOutput : public duvidu::DuviduLogOutput {
public:
    void log(const std::string& line) override
    {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
    }
    std::vector<std::string> lines()
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// A clock that stands still until told otherwise: the date, and apart from it the monotonic clock (nanoseconds).
class TestCurrentDateProvider : public duvidu::DuviduCurrentDateProvider {
public:
    duvidu::DuviduDate now{std::chrono::seconds(1700000000)};
    uint64_t uptime = 0;
    duvidu::DuviduDate date() const override { return now; }
    uint64_t dispatchTimeNow() const override { return 0; }
    int64_t timezoneOffset() const override { return 0; }
    uint64_t systemTime() const override { return uptime; }
};

// Sets an environment variable for one scope and puts the old value back.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedVariable()
    {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Sampling numbers given in advance; once they run out, the last one repeats (0.5 when none was given).
class ScriptedRandom : public duvidu::DuviduRandomProtocol {
public:
    explicit ScriptedRandom(std::deque<double> numbers = {}) : numbers_(std::move(numbers)) {}
    double nextNumber() override
    {
        std::lock_guard lock(mutex_);
        ++draws_;
        if (numbers_.size() > 1) {
            double next = numbers_.front();
            numbers_.pop_front();
            return next;
        }
        return numbers_.empty() ? 0.5 : numbers_.front();
    }
    int draws()
    {
        std::lock_guard lock(mutex_);
        return draws_;
    }

private:
    std::mutex mutex_;
    std::deque<double> numbers_;
    int draws_ = 0;
};

// Every SDK test starts from a clean container, a fixed clock and a log that prints everything into a collector.
class DuviduTest : public testing::Test {
protected:
    void SetUp() override
    {
        duvidu::DuviduDependencyContainer::reset();
        duvidu::DuviduCurrentDate::setCurrentDateProvider(clock);
        duvidu::DuviduLog::setLogOutput(logOutput);
        duvidu::DuviduLog::configure(true, duvidu::DuviduLevel::Debug);
    }
    void TearDown() override
    {
        duvidu::DuviduLog::configure(true, duvidu::DuviduLevel::Error);
        duvidu::DuviduLog::setLogOutput(nullptr);
        duvidu::DuviduCurrentDate::setCurrentDateProvider(nullptr);
        duvidu::DuviduDependencyContainer::reset();
    }

    std::shared_ptr<TestLogOutput> logOutput = std::make_shared<TestLogOutput>();
    std::shared_ptr<TestCurrentDateProvider> clock = std::make_shared<TestCurrentDateProvider>();
};

}  // namespace duvidutest
