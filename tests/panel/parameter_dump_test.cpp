// The parameter dump: a block of lines per parameter, its flags one line each in the table's order
// (masks of several bits tested whole) and its unit by name. The parameters here carry flags and
// units the plug-in's own tree never has.
#include "AudioUnitViewController.h"
#include "ConsoleCapture.h"
#include "ValueText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using plat::AUParameterTree;

// The lines one printParameter call writes, without their line feeds.
std::vector<std::string> dumpedLines(const plat::AUParameter& parameter, int level) {
    ConsoleCapture out;
    AudioUnitViewController().printParameter(parameter, level);
    std::vector<std::string> lines;
    const std::string text = out.text();
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

std::shared_ptr<plat::AUParameter>
parameterWith(plat::AudioUnitParameterOptions flags, plat::AudioUnitParameterUnit unit,
              std::optional<std::string> unitName = std::nullopt,
              std::optional<std::vector<std::string>> strings = std::nullopt) {
    return AUParameterTree::createParameter("p", "Dumped", 7, -2, 20, unit, std::move(unitName), flags,
                                            std::move(strings), {});
}

// The flag lines between the header and the maxValue line.
std::vector<std::string> flagLines(plat::AudioUnitParameterOptions flags) {
    const auto lines = dumpedLines(*parameterWith(flags, 0), 0);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(" - flag_", 0) == 0) out.push_back(lines[i].substr(8));
    return out;
}

} // namespace

TEST(ParameterDump, ABlockHasEveryLineIndentedByItsLevelAfterAnEmptyLine) {
    const auto tree = AUParameterTree::createTree({AUParameterTree::createGroup(
        "g", "Group",
        {parameterWith(0x40000000 | 0x10, 4, "sec", std::vector<std::string>{"short", "long"}),
         parameterWith(0, 27)})});
    const auto& group = static_cast<const plat::AUParameterGroup&>(*tree->children().front());
    const auto parameters = group.allParameters();
    ASSERT_EQ(parameters.size(), 2u);
    parameters[0]->setValue(0.5f), parameters[1]->setValue(20);
    EXPECT_EQ(dumpedLines(*parameters[0], 1),
              (std::vector<std::string>{
                  "",
                  "\tExtensionViewController: Folllowing AU parameter was found... ",
                  "\t- address:  7",
                  "\t- displayName:  Dumped",
                  "\t- value:  0.5",
                  "\t- options:  AudioUnitParameterOptions(rawValue: 1073741840)",
                  "\t- The flag value includes the following flags... ",
                  "\t - flag_CFNameRelease",
                  "\t - flag_IsReadable",
                  "\t- maxValue:  20.0",
                  "\t- minValue:  -2.0",
                  "\t- unit: (type 4)  seconds",
                  "\t- unitName:  sec",
                  "\t- valueStrings:  [\"short\", \"long\"]",
              }));
    EXPECT_EQ(dumpedLines(*parameters[1], 0),
              (std::vector<std::string>{
                  "",
                  "ExtensionViewController: Folllowing AU parameter was found... ",
                  "- address:  7",
                  "- displayName:  Dumped",
                  "- value:  20.0",
                  "- options:  AudioUnitParameterOptions(rawValue: 0)",
                  "- The flag value includes the following flags... ",
                  "- maxValue:  20.0",
                  "- minValue:  -2.0",
                  "- unit: (type 27)  unknown parameter kind",
                  "- unitName:  ",
                  "- valueStrings:  []",
              }));
}

TEST(ParameterDump, ANumberInExponentFormGetsNoFractionalPartAppended) {
    const std::pair<float, const char*> cases[] = {{1e-05f, "1e-05"}, {3e+20f, "3e+20"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(panel::shortestText(value), text);
}

TEST(ParameterDump, FlagsAreListedInTheTablesOrderWithMasksOfSeveralBitsTestedWhole) {
    using Names = std::vector<std::string>;
    const std::pair<plat::AudioUnitParameterOptions, Names> cases[] = {
        {0, {}},
        {0x1 | 0x80 | 0x80000, {}}, // bits outside every mask
        {0xC0000000, {"IsReadable", "IsWritable"}},
        {0x10 | 0x2000 | 0x4000 | 0x8000,
         {"CFNameRelease", "OmitFromPresets", "PlotHistory", "MeterReadOnly"}},
        {0x10000, {"DisplaySquareRoot"}},
        {0x20000, {"DisplaySquared"}},
        {0x30000, {"DisplaySquareRoot", "DisplaySquared", "DisplayCubed"}},
        {0x40000, {"DisplayCubeRoot"}},
        {0x50000, {"DisplaySquareRoot", "DisplayCubeRoot", "DisplayExponential"}},
        {0x400000, {"DisplayLogarithmic"}},
        {0x470000,
         {"DisplayMask", "DisplaySquareRoot", "DisplaySquared", "DisplayCubed", "DisplayCubeRoot",
          "DisplayExponential", "DisplayLogarithmic"}},
        {0x070000,
         {"DisplaySquareRoot", "DisplaySquared", "DisplayCubed", "DisplayCubeRoot", "DisplayExponential"}},
        {0x100000 | 0x200000 | 0x800000 | 0x1000000 | 0x2000000,
         {"HasClump", "ValuesHaveStrings", "IsHighResolution", "NonRealTime", "CanRamp"}},
        {0x4000000 | 0x8000000 | 0x10000000 | 0x20000000,
         {"ExpertMode", "HasCFNameString", "IsGlobalMeta", "IsElementMeta"}},
    };
    for (const auto& [flags, names] : cases) EXPECT_EQ(flagLines(flags), names) << std::hex << flags;
}

TEST(ParameterDump, EveryUnitCodeHasItsNameAndOthersAreUnknown) {
    const char* names[] = {"generic",
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
    for (plat::AudioUnitParameterUnit code = 0; code < std::size(names); ++code) {
        const auto lines = dumpedLines(*parameterWith(0, code), 0);
        ASSERT_EQ(lines.size(), 12u);
        EXPECT_EQ(lines[9], "- unit: (type " + std::to_string(code) + ")  " + names[code]);
    }
    for (plat::AudioUnitParameterUnit code : {27u, 28u, 0xFFFFFFFFu})
        EXPECT_EQ(AudioUnitViewController::verboseParameterKind(code), "unknown parameter kind") << code;
}
