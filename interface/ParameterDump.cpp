// The plain-text description of each parameter printed while the controller connects.
#include "AudioUnitViewController.h"
#include "ValueText.h"

#include "plat/console.h"

#include <array>
#include <utility>

namespace {
void say(const std::string& line) {
    plat::Console::shared().writeLine(line);
}
} // namespace

void AudioUnitViewController::printParameter(const plat::AUParameter& parameter, int level) {
    const std::string indent(std::size_t(std::max(level, 0)), '\t');
    // A label and its value are two printed items: one blank between them.
    auto item = [&](const std::string& label, const std::string& value) {
        say(indent + label + " " + value);
    };
    say("\n" + indent + "ExtensionViewController: Folllowing AU parameter was found... ");
    item("- address: ", std::to_string(parameter.address()));
    item("- displayName: ", parameter.displayName());
    item("- value: ", panel::shortestText(parameter.value()));
    item("- options: ", "AudioUnitParameterOptions(rawValue: " + std::to_string(parameter.flags()) + ")");
    verboseFlags(parameter.flags(), level);
    item("- maxValue: ", panel::shortestText(parameter.maxValue()));
    item("- minValue: ", panel::shortestText(parameter.minValue()));
    item("- unit: (type " + std::to_string(parameter.unit()) + ") ", verboseParameterKind(parameter.unit()));
    item("- unitName: ", parameter.unitName().value_or(""));
    std::string strings = "[";
    if (const auto& list = parameter.valueStrings())
        for (std::size_t i = 0; i < list->size(); ++i) strings += (i ? ", \"" : "\"") + (*list)[i] + "\"";
    item("- valueStrings: ", strings + "]");
}

void AudioUnitViewController::verboseFlags(plat::AudioUnitParameterOptions flags, int level) {
    static constexpr std::array<std::pair<std::uint32_t, const char*>, 22> kFlags{{
        {0x10, " - flag_CFNameRelease"},          {0x2000, " - flag_OmitFromPresets"},
        {0x4000, " - flag_PlotHistory"},          {0x8000, " - flag_MeterReadOnly"},
        {0x470000, " - flag_DisplayMask"},        {0x10000, " - flag_DisplaySquareRoot"},
        {0x20000, " - flag_DisplaySquared"},      {0x30000, " - flag_DisplayCubed"},
        {0x40000, " - flag_DisplayCubeRoot"},     {0x50000, " - flag_DisplayExponential"},
        {0x100000, " - flag_HasClump"},           {0x200000, " - flag_ValuesHaveStrings"},
        {0x400000, " - flag_DisplayLogarithmic"}, {0x800000, " - flag_IsHighResolution"},
        {0x1000000, " - flag_NonRealTime"},       {0x2000000, " - flag_CanRamp"},
        {0x4000000, " - flag_ExpertMode"},        {0x8000000, " - flag_HasCFNameString"},
        {0x10000000, " - flag_IsGlobalMeta"},     {0x20000000, " - flag_IsElementMeta"},
        {0x40000000, " - flag_IsReadable"},       {0x80000000, " - flag_IsWritable"},
    }};
    const std::string indent(std::size_t(std::max(level, 0)), '\t');
    say(indent + "- The flag value includes the following flags... ");
    for (const auto& [mask, text] : kFlags)
        if ((flags & mask) == mask) say(indent + text);
}

std::string AudioUnitViewController::verboseParameterKind(plat::AudioUnitParameterUnit kind) {
    static constexpr const char* kNames[] = {"generic",
                                             "indexed",
                                             "boolean",
                                             "percent",
                                             "seconds",
                                             "sampleFrames",
                                             "phase",
                                             "rate",
                                             "hertz",
                                             "cents",
                                             "relativeSemiTones",
                                             "midiNoteNumber",
                                             "midiController",
                                             "decibels",
                                             "linearGain",
                                             "degrees",
                                             "equalPowerCrossfade",
                                             "mixerFaderCurve1",
                                             "pan",
                                             "meters",
                                             "absoluteCents",
                                             "octaves",
                                             "BPM",
                                             "beats",
                                             "milliseconds",
                                             "ratio",
                                             "customUnit"};
    return kind < std::size(kNames) ? kNames[kind] : "unknown parameter kind";
}
