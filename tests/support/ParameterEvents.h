#pragma once
// Builds a host's list of parameter events for one render cycle.

#include "plat/audio.h"

#include <cstdint>
#include <vector>

struct ParameterChange {
    std::int64_t offset; // frames into the cycle
    plat::AUParameterAddress address;
    float value;
};

class ParameterEvents {
public:
    ParameterEvents() { events_.reserve(1024); }

    // The head of the list (null when there are no changes), stamped relative to `now`; valid
    // until the next call.
    const plat::AURenderEvent* build(std::int64_t now, const std::vector<ParameterChange>& changes) {
        events_.assign(changes.size(), plat::AURenderEvent{});
        for (std::size_t i = 0; i < changes.size(); ++i) {
            auto& e = events_[i].parameter;
            e.next = i + 1 < changes.size() ? &events_[i + 1] : nullptr;
            e.eventSampleTime = now + changes[i].offset;
            e.eventType = plat::AURenderEventType::Parameter;
            e.parameterAddress = changes[i].address;
            e.value = changes[i].value;
        }
        return events_.empty() ? nullptr : &events_[0];
    }

private:
    std::vector<plat::AURenderEvent> events_;
};
