#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Duvidu/DuviduSerialization.h"
#include "Duvidu/DuviduTransport.h"

namespace duvidutest {

// A transport that keeps what it is given instead of storing or sending it. Safe from any thread.
class RecordingTransport : public duvidu::DuviduTransport {
public:
    using Lost = std::pair<duvidu::DuviduDataCategory, duvidu::DuviduDiscardReason>;

    void sendEnvelope(const duvidu::DuviduEnvelope& envelope) override
    {
        std::lock_guard lock(mutex_);
        envelopes_.push_back(envelope);
    }
    void recordLostEvent(duvidu::DuviduDataCategory category, duvidu::DuviduDiscardReason reason) override
    {
        std::lock_guard lock(mutex_);
        lost_.emplace_back(category, reason);
    }
    bool flush(double timeoutSeconds) override
    {
        std::lock_guard lock(mutex_);
        flushes_.push_back(timeoutSeconds);
        return true;
    }

    std::vector<duvidu::DuviduEnvelope> envelopes() const
    {
        std::lock_guard lock(mutex_);
        return envelopes_;
    }
    std::vector<Lost> lost() const
    {
        std::lock_guard lock(mutex_);
        return lost_;
    }
    std::vector<double> flushes() const
    {
        std::lock_guard lock(mutex_);
        return flushes_;
    }
    void clear()
    {
        std::lock_guard lock(mutex_);
        envelopes_.clear();
    }

    // The JSON of the first item of the given type in the envelope; none when there is no such item.
    static std::optional<duvidu::Value::Object> itemJSON(const duvidu::DuviduEnvelope& envelope,
                                                         const std::string& type)
    {
        for (const auto& item : envelope.items()) {
            if (item.header()->type() != type) continue;
            auto value = duvidu::DuviduSerialization::JSONObjectWithData(item.data().data(), item.data().size());
            if (value && value->isObject()) return *value->asObject();
        }
        return std::nullopt;
    }

private:
    mutable std::mutex mutex_;
    std::vector<duvidu::DuviduEnvelope> envelopes_;
    std::vector<Lost> lost_;
    std::vector<double> flushes_;
};

}  // namespace duvidutest
