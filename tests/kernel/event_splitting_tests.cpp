// The kernel base splits a cycle at its events' sample times and applies the events in order.
#include "dsp/DSPKernel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingKernel : public DSPKernel {
public:
    std::vector<std::string> calls;
    void process(std::uint32_t frames, std::uint32_t offset) override {
        calls.push_back("process " + std::to_string(frames) + "@" + std::to_string(offset));
    }
    void setParameterAutomated(plat::AUParameterAddress a, plat::AUValue v,
                               plat::AUEventSampleTime) override {
        calls.push_back("param " + std::to_string(a) + "=" + std::to_string(int(v)));
    }
    void handleMIDIEvent(const plat::AUMIDIEvent& e) override {
        calls.push_back("midi " + std::to_string(e.data[0]));
    }
};

// An event by its sample time and type byte; a parameter's address and value, or a MIDI status.
struct Event {
    std::int64_t time;
    std::uint8_t type;
    std::uint64_t address;
    std::uint8_t valueOrStatus;
};

TEST(EventSplitting, SplitsAtEventTimesAndAppliesEventsInListOrder) {
    using V = std::vector<std::string>;
    const struct {
        const char* fault;
        std::vector<Event> events;
        std::uint32_t frames;
        V calls;
    } rows[] = {
        {"no events yet more than one segment", {}, 512, {"process 512@0"}},
        {"no split at the event", {{1100, 1, 7, 1}}, 512, {"process 100@0", "param 7=1", "process 412@100"}},
        {"simultaneous events out of list order or apart, a ramp not a step",
         {{1100, 1, 1, 1}, {1100, 8, 0, 0x90}, {1100, 2, 2, 2}, {1300, 1, 3, 3}},
         512,
         {"process 100@0", "param 1=1", "midi 144", "param 2=2", "process 200@100", "param 3=3",
          "process 212@300"}},
        {"an immediate event not applied first, SysEx dropped, an unknown type applied",
         {{-5000000, 1, 9, 1}, {1000, 9, 0, 0xF0}, {1000, 10, 0, 0x80}},
         64,
         {"param 9=1", "midi 240", "process 64@0"}},
        {"events applied in an empty cycle", {{1000, 1, 1, 1}}, 0, {}},
        {"events at or past the end lost or out of order",
         {{1100, 1, 1, 1}, {1512, 1, 2, 2}, {99999, 1, 3, 3}, {1600, 8, 0, 0x90}},
         512,
         {"process 100@0", "param 1=1", "process 412@100", "param 2=2", "param 3=3", "midi 144"}},
    };
    for (const auto& row : rows) {
        std::vector<plat::AURenderEvent> list(row.events.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            const Event& e = row.events[i];
            auto& head = list[i].head;
            head.next = i + 1 < list.size() ? &list[i + 1] : nullptr;
            head.eventSampleTime = e.time;
            head.eventType = plat::AURenderEventType(e.type);
            if (e.type >= 8) {
                list[i].MIDI.length = 3;
                list[i].MIDI.data[0] = e.valueOrStatus;
            } else {
                list[i].parameter.parameterAddress = e.address;
                list[i].parameter.value = e.valueOrStatus;
            }
        }
        RecordingKernel k;
        plat::AudioTimeStamp ts;
        ts.mSampleTime = 1000;
        k.processWithEvents(&ts, row.frames, list.empty() ? nullptr : &list[0], nullptr);
        EXPECT_EQ(k.calls, row.calls) << row.fault;
    }
}

} // namespace
