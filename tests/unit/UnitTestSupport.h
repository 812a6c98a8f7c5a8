#pragma once
// Shared pieces of the audio unit's tests: captured console lines, scratch folders, a factory
// folder the unit is pointed at, and a host that renders through the unit's render block.

#include "ConsoleCapture.h"
#include "ParameterEvents.h"
#include "ScratchFolder.h"
#include "YUX_Sorvane_Extension_AudioUnit.h"

#include "plat/dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

// What earlier tests left in the main queue or the ring is printed before capturing starts.
struct ConsoleSettled {
    ConsoleSettled() { settle(); }
    static void settle() {
        plat::RunLoop::main().drain();
        plat::Console::shared().flush();
    }
};

// The unit logs through the main queue: `printed()` serves it first, `text()` does not.
class CapturedConsole : ConsoleSettled, public ConsoleCapture {
public:
    ~CapturedConsole() { settle(); }
    std::string printed() {
        plat::RunLoop::main().drain();
        return text();
    }
    bool contains(std::string_view needle) { return printed().find(needle) != std::string::npos; }
};

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

// Renders a stereo sine through a render block, with parameter events.
class UnitHost {
public:
    explicit UnitHost(plat::AURenderBlock block, std::uint32_t maxFrames = 4096)
        : block_(std::move(block)), outL_(maxFrames), outR_(maxFrames), in_(maxFrames) {
        pull_ = [this](plat::AudioUnitRenderActionFlags*, const plat::AudioTimeStamp*,
                       plat::AUAudioFrameCount frames, plat::NSInteger,
                       plat::AudioBufferList* list) -> plat::AUAudioUnitStatus {
            for (std::uint32_t c = 0; c < list->mNumberBuffers; ++c)
                std::copy(in_.data(), in_.data() + frames, static_cast<float*>(list->mBuffers[c].mData));
            return plat::noErr;
        };
    }

    using Change = ParameterChange;

    plat::AUAudioUnitStatus cycle(std::uint32_t frames, float amplitude = 0.5f,
                                  const std::vector<Change>& changes = {}, plat::NSInteger bus = 0) {
        for (std::uint32_t i = 0; i < frames && i < in_.size(); ++i) {
            in_[i] = amplitude * float(std::sin(phase_));
            phase_ += 2.0 * 3.14159265358979 * 1000.0 / 48000.0;
        }
        const plat::AURenderEvent* events = events_.build(sampleTime_, changes);
        plat::AudioBufferList out;
        out.mNumberBuffers = 2;
        out.mBuffers[0] = {1, std::uint32_t(outL_.size() * 4), outL_.data()};
        out.mBuffers[1] = {1, std::uint32_t(outR_.size() * 4), outR_.data()};
        plat::AudioTimeStamp ts;
        ts.mSampleTime = double(sampleTime_);
        ts.mFlags = plat::kAudioTimeStampSampleTimeValid;
        plat::AudioUnitRenderActionFlags flags = 0;
        const auto status = block_(&flags, &ts, frames, bus, &out, events, &pull_);
        sampleTime_ += frames;
        return status;
    }

    const std::vector<float>& left() const { return outL_; }
    const std::vector<float>& input() const { return in_; }

private:
    plat::AURenderBlock block_;
    std::vector<float> outL_, outR_, in_;
    ParameterEvents events_;
    plat::AURenderPullInputBlock pull_;
    double phase_ = 0;
    std::int64_t sampleTime_ = 0;
};
