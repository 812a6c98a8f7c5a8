#pragma once
// MIDI records handed to the audio layer.

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace plat {

// A meta event of a standard MIDI file: its type, the length of its data, and the data, which
// continue past the one-byte field in a larger allocation.
struct MIDIMetaEvent {
    std::uint8_t metaEventType;
    std::uint8_t unused1;
    std::uint8_t unused2;
    std::uint8_t unused3;
    std::uint32_t dataLength;
    std::uint8_t data[1];
};

static_assert(std::is_standard_layout_v<MIDIMetaEvent> && std::is_trivial_v<MIDIMetaEvent>);
static_assert(offsetof(MIDIMetaEvent, metaEventType) == 0);
static_assert(offsetof(MIDIMetaEvent, dataLength) == 4);
static_assert(offsetof(MIDIMetaEvent, data) == 8);
static_assert(sizeof(MIDIMetaEvent) == 12);

} // namespace plat
