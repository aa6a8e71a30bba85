#pragma once

#include <optional>

#include "Duvidu/DuviduSampleDecision.h"

namespace duvidu {

// How a tracer is set up beyond its transaction context.
class DuviduTracerConfiguration {
public:
    // ObjC: +[DuviduTracerConfiguration defaultConfiguration] — no profiles decision yet.
    static DuviduTracerConfiguration defaultConfiguration() { return {}; }

    // Set by the hub when it starts the transaction; none while no profiles sampler ran.
    const std::optional<DuviduProfilesSamplerDecision>& profilesSamplerDecision() const
    {
        return profilesSamplerDecision_;
    }
    void setProfilesSamplerDecision(std::optional<DuviduProfilesSamplerDecision> decision)
    {
        profilesSamplerDecision_ = decision;
    }

private:
    std::optional<DuviduProfilesSamplerDecision> profilesSamplerDecision_;
};

}  // namespace duvidu
