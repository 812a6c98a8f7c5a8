// The meta-event record: type, the data length at byte 4, the data from byte 8, and zeros up to
// its 12-byte head plus the data count.
#include "MIDIDefinitions.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(MyMetaEvent, RecordHoldsTypeLengthAndDataAfterAZeroedHead) {
    const std::uint8_t tempo[] = {0x07, 0xA1, 0x20};
    const MyMetaEvent event(0x51, tempo);
    ASSERT_EQ(event.size, 15u);
    const std::uint8_t expected[15] = {0x51, 0, 0, 0, 3, 0, 0, 0, 0x07, 0xA1, 0x20, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(event.bytes(), expected, 15), 0);
    int calls = 0;
    event.withMIDIMetaEventPtr([&](const plat::MIDIMetaEvent* e) {
        EXPECT_EQ(std::tuple(e->metaEventType, e->dataLength, e->data[0]), std::tuple(0x51, 3u, 0x07));
        ++calls;
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(MyMetaEvent(0x2F, {}).size, 12u);
}
