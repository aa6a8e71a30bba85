#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace duvidu {

struct DuviduNotification {
    std::string name;
    const void* object = nullptr;
};

// An in-process notification center. Observers are identified by an address of the caller's choice; handlers run
// on the posting thread, outside the center's lock.
class DuviduNotificationCenter {
public:
    using Handler = std::function<void(const DuviduNotification&)>;

    static DuviduNotificationCenter& defaultCenter();

    // With an object, only notifications posted with that object reach the handler.
    void addObserver(const void* observer, Handler handler, std::string name, const void* object = nullptr);
    // No name matches every name, no object every object.
    void removeObserver(const void* observer, const std::optional<std::string>& name = std::nullopt,
                        const void* object = nullptr);
    void postNotificationName(const std::string& name, const void* object = nullptr);

private:
    struct Registration {
        const void* observer;
        std::string name;
        const void* object;
        Handler handler;
    };
    std::mutex mutex_;
    std::vector<Registration> registrations_;
};

}  // namespace duvidu
