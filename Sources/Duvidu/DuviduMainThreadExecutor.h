#pragma once

#include <functional>
#include <memory>

namespace duvidu {

// What the SDK calls "the main queue". A GUI application installs an executor that posts to its GUI thread; without
// one the SDK uses a serial queue of its own, whose thread then counts as the main thread.
class DuviduMainThreadExecutor {
public:
    virtual ~DuviduMainThreadExecutor() = default;
    virtual void post(std::function<void()> block) = 0;
    virtual bool isMainThread() const = 0;

    static std::shared_ptr<DuviduMainThreadExecutor> shared();
    // nullptr puts the SDK's own executor back.
    static void setShared(std::shared_ptr<DuviduMainThreadExecutor> executor);
};

}  // namespace duvidu
