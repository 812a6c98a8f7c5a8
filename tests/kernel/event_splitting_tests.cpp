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

struct EventList {
    std::vector<plat::AURenderEvent> events;
    void param(std::int64_t time, plat::AUParameterAddress address, float value,
               plat::AURenderEventType type = plat::AURenderEventType::Parameter) {
        plat::AURenderEvent e{};
        e.parameter.eventSampleTime = time;
        e.parameter.eventType = type;
        e.parameter.parameterAddress = address;
        e.parameter.value = value;
        events.push_back(e);
    }
    void midi(std::int64_t time, std::uint8_t status, std::uint8_t type = 8) {
        plat::AURenderEvent e{};
        e.MIDI.eventSampleTime = time;
        e.MIDI.eventType = plat::AURenderEventType(type);
        e.MIDI.length = 3;
        e.MIDI.data[0] = status;
        events.push_back(e);
    }
    const plat::AURenderEvent* head() {
        for (std::size_t i = 0; i + 1 < events.size(); ++i) events[i].head.next = &events[i + 1];
        return events.empty() ? nullptr : &events[0];
    }
};

std::vector<std::string> run(EventList& list, std::uint32_t frames, double now = 1000) {
    RecordingKernel k;
    plat::AudioTimeStamp ts;
    ts.mSampleTime = now;
    k.processWithEvents(&ts, frames, list.head(), nullptr);
    return k.calls;
}

using V = std::vector<std::string>;

TEST(EventSplitting, NoEventsIsOneSegment) {
    EventList l;
    EXPECT_EQ(run(l, 512), V({"process 512@0"}));
}

TEST(EventSplitting, EventsSplitAtTheirSampleTimes) {
    EventList l;
    l.param(1100, 7, 1);
    EXPECT_EQ(run(l, 512), V({"process 100@0", "param 7=1", "process 412@100"}));
}

TEST(EventSplitting, SimultaneousEventsApplyInListOrderBetweenTheSameSegments) {
    EventList l;
    l.param(1100, 1, 1);
    l.midi(1100, 0x90);
    l.param(1100, 2, 2, plat::AURenderEventType::ParameterRamp);
    l.param(1300, 3, 3);
    EXPECT_EQ(run(l, 512), V({"process 100@0", "param 1=1", "midi 144", "param 2=2", "process 200@100",
                              "param 3=3", "process 212@300"}));
}

TEST(EventSplitting, EarlyAndUnknownEvents) {
    EventList l;
    l.param(-5000000, 9, 1); // immediate: stamped far before now
    l.midi(1000, 0xF0, 9);   // SysEx
    l.midi(1000, 0x80, 10);  // unknown type: skipped
    EXPECT_EQ(run(l, 64), V({"param 9=1", "midi 240", "process 64@0"}));
}

TEST(EventSplitting, ZeroFramesAppliesNothing) {
    EventList l;
    l.param(1000, 1, 1);
    EXPECT_TRUE(run(l, 0).empty());
}

TEST(EventSplitting, EventsAtOrPastTheEndApplyAfterTheLastFrameInOrder) {
    EventList l;
    l.param(1100, 1, 1);
    l.param(1512, 2, 2);  // exactly at the end
    l.param(99999, 3, 3); // far beyond
    l.midi(1600, 0x90);
    EXPECT_EQ(run(l, 512),
              V({"process 100@0", "param 1=1", "process 412@100", "param 2=2", "param 3=3", "midi 144"}));
}

} // namespace
