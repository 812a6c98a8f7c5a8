#include "DSPKernel.h"

void DSPKernel::process2(std::uint32_t, std::uint32_t) {}
void DSPKernel::process(std::uint32_t, std::uint32_t) {}
void DSPKernel::setParameterAutomated(plat::AUParameterAddress, plat::AUValue, plat::AUEventSampleTime) {}
void DSPKernel::handleMIDIEvent(const plat::AUMIDIEvent&) {}

void DSPKernel::processWithEvents(const plat::AudioTimeStamp* timestamp, std::uint32_t frameCount,
                                  const plat::AURenderEvent* events,
                                  const plat::AUMIDIOutputEventBlock* midiOutBlock) {
    midiOut = midiOutBlock;
    const double sampleTime = timestamp->mSampleTime;
    std::int64_t now =
        (sampleTime > -9.0e18 && sampleTime < 9.0e18) ? static_cast<std::int64_t>(sampleTime) : 0;
    std::uint32_t framesRemaining = frameCount;
    const plat::AURenderEvent* event = events;

    while (framesRemaining > 0) {
        if (event == nullptr) {
            process(framesRemaining, frameCount - framesRemaining);
            return;
        }
        // A segment never runs past the frames that remain.
        const double distance = double(event->head.eventSampleTime) - double(now);
        const std::uint32_t segment =
            distance <= 0 ? 0u
                          : (distance >= double(framesRemaining) ? framesRemaining : std::uint32_t(distance));
        if (segment > 0) {
            process(segment, frameCount - framesRemaining);
            framesRemaining -= segment;
            now += segment;
        }
        performAllSimultaneousEvents(now, event);
    }
    // Events stamped at or past the end break the host's contract; they still take effect, in
    // order, after the cycle's last frame rather than being dropped.
    for (; frameCount > 0 && event != nullptr; event = event->head.next) handleOneEvent(event);
}

void DSPKernel::performAllSimultaneousEvents(std::int64_t now, const plat::AURenderEvent*& event) {
    do {
        handleOneEvent(event);
        event = event->head.next;
    } while (event && event->head.eventSampleTime <= now);
}

void DSPKernel::handleOneEvent(const plat::AURenderEvent* event) {
    switch (event->head.eventType) {
    case plat::AURenderEventType::Parameter:
    case plat::AURenderEventType::ParameterRamp:
        // A ramp takes effect as a step at its own time.
        setParameterAutomated(event->parameter.parameterAddress, event->parameter.value,
                              event->head.eventSampleTime);
        break;
    case plat::AURenderEventType::MIDI:
    case plat::AURenderEventType::MIDISysEx:
        handleMIDIEvent(event->MIDI);
        break;
    default:
        break;
    }
}
