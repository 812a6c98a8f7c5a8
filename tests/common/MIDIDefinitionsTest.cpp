// MIDI byte values and the meta-event record built from a type and its data bytes.
#include "MIDIDefinitions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

TEST(MIDIDefinitions, EveryConstantHasItsByteValue) {
    struct Constant {
        const char* name;
        std::uint8_t value, expected;
    };
    const Constant constants[] = {
        {"STATUS_NOTEOFF", STATUS_NOTEOFF, 0x80},
        {"STATUS_NOTEON", STATUS_NOTEON, 0x90},
        {"STATUS_CONTROLLER", STATUS_CONTROLLER, 0xB0},
        {"STATUS_PPRESSURE", STATUS_PPRESSURE, 0xA0},
        {"STATUS_CPRESSURE", STATUS_CPRESSURE, 0xD0},
        {"STATUS_PROGRAM", STATUS_PROGRAM, 0xC0},
        {"STATUS_PITCHBEND", STATUS_PITCHBEND, 0xE0},
        {"STATUS_SYSEX", STATUS_SYSEX, 0xF0},
        {"STATUS_TIMECODE", STATUS_TIMECODE, 0xF1},
        {"STATUS_SONGPOSITION", STATUS_SONGPOSITION, 0xF2},
        {"STATUS_SONGSELECT", STATUS_SONGSELECT, 0xF3},
        {"STATUS_RESERVED1", STATUS_RESERVED1, 0xF4},
        {"STATUS_RESERVED2", STATUS_RESERVED2, 0xF5},
        {"STATUS_TUNEREQUEST", STATUS_TUNEREQUEST, 0xF6},
        {"STATUS_EOX", STATUS_EOX, 0xF7},
        {"STATUS_TIMINGCLOCK", STATUS_TIMINGCLOCK, 0xF8},
        {"STATUS_RESERVED3", STATUS_RESERVED3, 0xF9},
        {"STATUS_START", STATUS_START, 0xFA},
        {"STATUS_CONTINUE", STATUS_CONTINUE, 0xFB},
        {"STATUS_STOP", STATUS_STOP, 0xFC},
        {"STATUS_RESERVED4", STATUS_RESERVED4, 0xFD},
        {"STATUS_ACTIVESENSING", STATUS_ACTIVESENSING, 0xFE},
        {"STATUS_RESET", STATUS_RESET, 0xFF},
        {"STATUS_META", STATUS_META, 0xFD},
        {"CONTROLLER_BANKSELECT_MSB", CONTROLLER_BANKSELECT_MSB, 0},
        {"CONTROLLER_MODWHEEL", CONTROLLER_MODWHEEL, 1},
        {"CONTROLLER_003", CONTROLLER_003, 3},
        {"CONTROLLER_DATA_MSB", CONTROLLER_DATA_MSB, 6},
        {"CONTROLLER_VOLUME", CONTROLLER_VOLUME, 7},
        {"CONTROLLER_008", CONTROLLER_008, 8},
        {"CONTROLLER_009", CONTROLLER_009, 9},
        {"CONTROLLER_PAN", CONTROLLER_PAN, 10},
        {"CONTROLLER_EXPRESSION", CONTROLLER_EXPRESSION, 11},
        {"CONTROLLER_016", CONTROLLER_016, 16},
        {"CONTROLLER_017", CONTROLLER_017, 17},
        {"CONTROLLER_018", CONTROLLER_018, 18},
        {"CONTROLLER_019", CONTROLLER_019, 19},
        {"CONTROLLER_020", CONTROLLER_020, 20},
        {"CONTROLLER_021", CONTROLLER_021, 21},
        {"CONTROLLER_022", CONTROLLER_022, 22},
        {"CONTROLLER_023", CONTROLLER_023, 23},
        {"CONTROLLER_024", CONTROLLER_024, 24},
        {"CONTROLLER_025", CONTROLLER_025, 25},
        {"CONTROLLER_026", CONTROLLER_026, 26},
        {"CONTROLLER_027", CONTROLLER_027, 27},
        {"CONTROLLER_028", CONTROLLER_028, 28},
        {"CONTROLLER_029", CONTROLLER_029, 29},
        {"CONTROLLER_030", CONTROLLER_030, 30},
        {"CONTROLLER_031", CONTROLLER_031, 31},
        {"CONTROLLER_BANKSELECT_LSB", CONTROLLER_BANKSELECT_LSB, 32},
        {"CONTROLLER_SUSTAIN", CONTROLLER_SUSTAIN, 64},
        {"CONTROLLER_PORTA", CONTROLLER_PORTA, 65},
        {"CONTROLLER_HOLD2", CONTROLLER_HOLD2, 69},
        {"CONTROLLER_RESONANCE", CONTROLLER_RESONANCE, 71},
        {"CONTROLLER_RELEASE", CONTROLLER_RELEASE, 72},
        {"CONTROLLER_ATTACK", CONTROLLER_ATTACK, 73},
        {"CONTROLLER_CUTOFF", CONTROLLER_CUTOFF, 74},
        {"CONTROLLER_DECAY", CONTROLLER_DECAY, 75},
        {"CONTROLLER_SUSTAIN2", CONTROLLER_SUSTAIN2, 76},
        {"CONTROLLER_102", CONTROLLER_102, 102},
        {"CONTROLLER_103", CONTROLLER_103, 103},
        {"CONTROLLER_104", CONTROLLER_104, 104},
        {"CONTROLLER_105", CONTROLLER_105, 105},
        {"CONTROLLER_106", CONTROLLER_106, 106},
        {"CONTROLLER_107", CONTROLLER_107, 107},
        {"CONTROLLER_108", CONTROLLER_108, 108},
        {"CONTROLLER_109", CONTROLLER_109, 109},
        {"CONTROLLER_110", CONTROLLER_110, 110},
        {"CONTROLLER_111", CONTROLLER_111, 111},
        {"CONTROLLER_112", CONTROLLER_112, 112},
        {"CONTROLLER_SOUNDS_OFF", CONTROLLER_SOUNDS_OFF, 120},
        {"CONTROLLER_RESET_CONTROLLERS", CONTROLLER_RESET_CONTROLLERS, 121},
        {"CONTROLLER_NOTES_OFF", CONTROLLER_NOTES_OFF, 123},
        {"META_SEQUENCENUMBER", META_SEQUENCENUMBER, 0x00},
        {"META_TEXT", META_TEXT, 0x01},
        {"META_COPYRIGHT", META_COPYRIGHT, 0x02},
        {"META_TRACKNAME", META_TRACKNAME, 0x03},
        {"META_INSTRUMENTNAME", META_INSTRUMENTNAME, 0x04},
        {"META_LYRICS", META_LYRICS, 0x05},
        {"META_MARKER", META_MARKER, 0x06},
        {"META_CUEPOINT", META_CUEPOINT, 0x07},
        {"META_PROGRAMNAME", META_PROGRAMNAME, 0x08},
        {"META_DEVICENAME", META_DEVICENAME, 0x09},
        {"META_CHANNELPREFIX", META_CHANNELPREFIX, 0x20},
        {"META_MIDIPORT", META_MIDIPORT, 0x21},
        {"META_EOT", META_EOT, 0x2F},
        {"META_SETTEMPO", META_SETTEMPO, 0x51},
        {"META_SMTPOFFSET", META_SMTPOFFSET, 0x54},
        {"META_TIMESIGNATURE", META_TIMESIGNATURE, 0x58},
        {"META_KEYSIGNATURE", META_KEYSIGNATURE, 0x59},
        {"META_SPECIFIC", META_SPECIFIC, 0x7F},
        {"META_SYSEX", META_SYSEX, 0xF0},
        {"META_UNKNOWN", META_UNKNOWN, 0xFF},
        {"META_EXTENDEDNOTE", META_EXTENDEDNOTE, 0xFF},
        {"META_AUPARAMETER", META_AUPARAMETER, 0xFF},
        {"META_AUPRESET", META_AUPRESET, 0xFF},
    };
    EXPECT_EQ(std::size(constants), 96u);
    for (const auto& c : constants) EXPECT_EQ(int(c.value), int(c.expected)) << c.name;
}

TEST(MIDIDefinitions, AMetaEventRecordHoldsItsTypeLengthAndDataAfterAZeroFilledHead) {
    struct Case {
        const char* fault;
        std::uint8_t type;
        std::vector<std::uint8_t> data;
    };
    const Case cases[] = {
        {"a tempo event's bytes misplaced", 0x51, {0x07, 0xA1, 0x20}},
        {"an empty event not a bare 12-byte head", 0x2F, {}},
        {"a long event cut short", 0x01, std::vector<std::uint8_t>(300, 0x5A)},
    };
    for (const auto& c : cases) {
        const MyMetaEvent event(c.type, c.data);
        ASSERT_EQ(event.size, c.data.size() + 12) << c.fault;
        std::vector<std::uint8_t> expected(event.size, 0);
        expected[0] = c.type;
        const auto length = std::uint32_t(c.data.size());
        std::memcpy(&expected[4], &length, sizeof length);
        std::copy(c.data.begin(), c.data.end(), expected.begin() + 8);
        EXPECT_EQ(std::vector<std::uint8_t>(event.bytes(), event.bytes() + event.size), expected) << c.fault;
        int calls = 0;
        event.withMIDIMetaEventPtr([&](const plat::MIDIMetaEvent* e) {
            ++calls;
            EXPECT_EQ(std::tuple(e->metaEventType, e->dataLength), std::tuple(c.type, length)) << c.fault;
            EXPECT_TRUE(std::equal(c.data.begin(), c.data.end(), e->data)) << c.fault;
        });
        EXPECT_EQ(calls, 1) << c.fault;
    }
    test_MyMetaEvent();
}
