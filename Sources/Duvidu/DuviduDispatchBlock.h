#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace duvidu {

// A block that can be cancelled before it runs. Copies share the cancellation; a block already running is not
// stopped.
class DuviduDispatchBlock {
public:
    explicit DuviduDispatchBlock(std::function<void()> block)
        : state_(std::make_shared<State>(std::move(block)))
    {
    }

    void operator()() const
    {
        if (!state_->cancelled.load(std::memory_order_acquire)) state_->block();
    }
    void cancel() const { state_->cancelled.store(true, std::memory_order_release); }
    bool isCancelled() const { return state_->cancelled.load(std::memory_order_acquire); }

private:
    struct State {
        explicit State(std::function<void()> b) : block(std::move(b)) {}
        std::function<void()> block;
        std::atomic<bool> cancelled{false};
    };
    std::shared_ptr<State> state_;
};

}  // namespace duvidu
