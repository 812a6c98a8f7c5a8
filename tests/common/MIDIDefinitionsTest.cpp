#include "MIDIDefinitions.h"

#include <gtest/gtest.h>

#include <cstring>

static_assert(STATUS_META == STATUS_RESERVED4 && STATUS_META == 0xFD);
static_assert(STATUS_NOTEOFF == 0x80 && STATUS_NOTEON == 0x90 && STATUS_CONTROLLER == 0xB0 &&
              STATUS_PPRESSURE == 0xA0 && STATUS_CPRESSURE == 0xD0 && STATUS_PROGRAM == 0xC0 &&
              STATUS_PITCHBEND == 0xE0 && STATUS_SYSEX == 0xF0 && STATUS_TIMINGCLOCK == 0xF8 &&
              STATUS_ACTIVESENSING == 0xFE && STATUS_RESET == 0xFF);
static_assert(CONTROLLER_016 == 16 && CONTROLLER_031 == 31 && CONTROLLER_102 == 102 && CONTROLLER_112 == 112);
static_assert(CONTROLLER_NOTES_OFF == 123 && CONTROLLER_SUSTAIN2 == 76);
static_assert(META_SETTEMPO == 0x51 && META_EOT == 0x2F && META_KEYSIGNATURE == 0x59 &&
              META_SPECIFIC == 0x7F && META_SYSEX == 0xF0);
static_assert(META_UNKNOWN == 0xFF && META_EXTENDEDNOTE == 0xFF && META_AUPARAMETER == 0xFF &&
              META_AUPRESET == 0xFF);

TEST(MyMetaEvent, RecordHoldsTypeLengthAndData) {
    const std::uint8_t tempo[] = {0x07, 0xA1, 0x20};
    MyMetaEvent event(0x51, tempo);
    EXPECT_EQ(event.size, 15u);
    const std::uint8_t* bytes = event.bytes();
    EXPECT_EQ(bytes[0], 0x51);
    std::uint32_t length = 0;
    std::memcpy(&length, bytes + 4, 4);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(bytes[8], 0x07);
    EXPECT_EQ(bytes[9], 0xA1);
    EXPECT_EQ(bytes[10], 0x20);
    int calls = 0;
    event.withMIDIMetaEventPtr([&](const plat::MIDIMetaEvent* e) {
        ++calls;
        EXPECT_EQ(e->metaEventType, 0x51);
        EXPECT_EQ(e->dataLength, 3u);
        EXPECT_EQ(e->data[0], 0x07);
    });
    EXPECT_EQ(calls, 1);
}

TEST(MyMetaEvent, EmptyDataGivesTheBareHead) {
    MyMetaEvent event(0x2F, {});
    EXPECT_EQ(event.size, 12u);
    for (std::size_t i = 1; i < 12; ++i) EXPECT_EQ(event.bytes()[i], 0) << i;
    test_MyMetaEvent();
}
