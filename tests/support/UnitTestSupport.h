#pragma once
// The audio unit as tests meet it: a factory folder the unit is pointed at, units made as
// a host makes them, and their values read through the tree.

#include "ConsoleCapture.h"
#include "RenderHost.h"
#include "ScratchFolder.h"
#include "YUX_Sorvane_Extension_AudioUnit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// A resource folder of the test's own, with an empty factory folder the unit is pointed at.
class FactoryFolder {
public:
    FactoryFolder() {
        fs::create_directories(folder());
        YUX_Sorvane_Extension_AudioUnit::setResourceDirectoryForTesting(scratch_.path());
    }
    ~FactoryFolder() { YUX_Sorvane_Extension_AudioUnit::setResourceDirectoryForTesting(std::nullopt); }
    fs::path folder() const { return scratch_.path() / YUX_Sorvane_Extension_AudioUnit::kFactoryFolder; }
    fs::path resources() const { return scratch_.path(); }

private:
    ScratchFolder scratch_;
};

inline std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> makeUnit() {
    auto made = YUX_Sorvane_Extension_AudioUnit::make(
        YUX_Sorvane_Extension_AudioUnit::componentDescriptionOfEffect());
    EXPECT_TRUE(made.ok());
    return made.ok() ? made.value() : nullptr;
}

using Values = std::vector<std::pair<plat::AUParameterAddress, float>>;

// All 100 values of a unit, by address, read through its tree.
inline Values allValues(YUX_Sorvane_Extension_AudioUnit& unit) {
    Values values;
    for (const auto& p : unit.parameterTree()->allParameters()) values.emplace_back(p->address(), p->value());
    return values;
}

// Sets every parameter but bypass to a value of its own, distinct from the defaults.
inline void setDistinctValues(YUX_Sorvane_Extension_AudioUnit& unit, float offset = 0.0f) {
    int k = 0;
    for (const auto& p : unit.parameterTree()->allParameters())
        p->setValue(p->address() == 0 ? 0.0f : 0.01f + float((k++ * 37) % 97) / 100.0f * 0.9f + offset);
}

// A name from outside that holds an escape code and a forged line, and how the escaping helper
// shows it.
inline const std::string kHostileName = "a\x1b[2Jb\nFORGED";
inline const std::string kHostileShown = "a\\x1b[2Jb\\x0aFORGED";
// Whether printed text carries the escape code or the forged line of such a name raw.
inline bool printsHostileRaw(const std::string& text) {
    return text.find('\x1b') != std::string::npos || text.find("\nFORGED") != std::string::npos;
}
// Runs `act` and checks that what it printed holds each of `lines` and no such name raw.
inline void expectPrintedEscaped(const std::function<void()>& act, const std::vector<std::string>& lines) {
    CapturedConsole console;
    act();
    const std::string text = console.printed();
    EXPECT_FALSE(printsHostileRaw(text)) << text;
    for (const auto& line : lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}
