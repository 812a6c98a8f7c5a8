#pragma once
// Shared pieces of the audio unit's tests: captured console lines, scratch folders, a factory
// folder the unit is pointed at, and a host that renders through the unit's render block.

#include "YUX_Sorvane_Extension_AudioUnit.h"

#include "plat/console.h"
#include "plat/dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

// Everything the console writes while it lives; lines queued for the main queue are served first.
class CapturedConsole {
public:
    CapturedConsole() {
        plat::RunLoop::main().drain();
        plat::Console::shared().flush();
        plat::Console::shared().setSink([this](std::string_view t) {
            std::lock_guard<std::mutex> lock(m_);
            text_.append(t);
        });
    }
    ~CapturedConsole() {
        plat::RunLoop::main().drain();
        plat::Console::shared().flush();
        plat::Console::shared().setSink({});
    }
    std::string text() {
        plat::RunLoop::main().drain();
        plat::Console::shared().flush();
        std::lock_guard<std::mutex> lock(m_);
        return text_;
    }
    // Only what reached the sink so far, without serving the main queue.
    std::string textWithoutMainQueue() {
        plat::Console::shared().flush();
        std::lock_guard<std::mutex> lock(m_);
        return text_;
    }
    bool contains(std::string_view needle) { return text().find(needle) != std::string::npos; }
    std::size_t count(std::string_view needle) {
        const std::string t = text();
        std::size_t n = 0;
        for (auto pos = t.find(needle); pos != std::string::npos; pos = t.find(needle, pos + needle.size()))
            ++n;
        return n;
    }
    void clear() {
        text();
        std::lock_guard<std::mutex> lock(m_);
        text_.clear();
    }

private:
    std::mutex m_;
    std::string text_;
};

class ScratchFolder {
public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        path_ = fs::temp_directory_path() /
                ("sorvane-unit-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

inline void writeText(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << text;
}

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

// All 100 values of a unit, by address, read through its tree.
inline std::vector<std::pair<plat::AUParameterAddress, float>>
allValues(YUX_Sorvane_Extension_AudioUnit& unit) {
    std::vector<std::pair<plat::AUParameterAddress, float>> values;
    for (const auto& p : unit.parameterTree()->allParameters()) values.emplace_back(p->address(), p->value());
    return values;
}

// Sets every parameter to a value of its own, distinct from the defaults.
inline void setDistinctValues(YUX_Sorvane_Extension_AudioUnit& unit, float offset = 0.0f) {
    int k = 0;
    for (const auto& p : unit.parameterTree()->allParameters())
        p->setValue(p->address() == 0 ? 0.0f : 0.01f + float((k++ * 37) % 97) / 100.0f * 0.9f + offset);
}

// Renders a stereo signal through the unit's host-facing render block, with parameter events.
class UnitHost {
public:
    explicit UnitHost(plat::AURenderBlock block, std::uint32_t maxFrames = 4096)
        : block_(std::move(block)), outL_(maxFrames), outR_(maxFrames), inL_(maxFrames), inR_(maxFrames) {
        pull_ = [this](plat::AudioUnitRenderActionFlags*, const plat::AudioTimeStamp*,
                       plat::AUAudioFrameCount frames, plat::NSInteger,
                       plat::AudioBufferList* list) -> plat::AUAudioUnitStatus {
            float* src[2] = {inL_.data(), inR_.data()};
            for (std::uint32_t c = 0; c < list->mNumberBuffers && c < 2; ++c)
                std::copy(src[c], src[c] + frames, static_cast<float*>(list->mBuffers[c].mData));
            return plat::noErr;
        };
        events_.reserve(64);
    }

    struct Change {
        std::int64_t offset;
        plat::AUParameterAddress address;
        float value;
    };

    // One cycle of a sine at `hz` (both channels); the output lands in left()/right().
    plat::AUAudioUnitStatus cycle(std::uint32_t frames, double hz = 1000.0, float amplitude = 0.5f,
                                  const std::vector<Change>& changes = {}, plat::NSInteger bus = 0) {
        for (std::uint32_t i = 0; i < frames && i < inL_.size(); ++i) {
            inL_[i] = inR_[i] = amplitude * float(std::sin(phase_));
            phase_ += 2.0 * 3.14159265358979 * hz / 48000.0;
        }
        events_.assign(changes.size(), plat::AURenderEvent{});
        for (std::size_t i = 0; i < changes.size(); ++i) {
            auto& e = events_[i].parameter;
            e.next = i + 1 < changes.size() ? &events_[i + 1] : nullptr;
            e.eventSampleTime = sampleTime_ + changes[i].offset;
            e.eventType = plat::AURenderEventType::Parameter;
            e.parameterAddress = changes[i].address;
            e.value = changes[i].value;
        }
        plat::AudioBufferList out;
        out.mNumberBuffers = 2;
        out.mBuffers[0] = {1, std::uint32_t(outL_.size() * 4), outL_.data()};
        out.mBuffers[1] = {1, std::uint32_t(outR_.size() * 4), outR_.data()};
        plat::AudioTimeStamp ts;
        ts.mSampleTime = double(sampleTime_);
        ts.mFlags = plat::kAudioTimeStampSampleTimeValid;
        plat::AudioUnitRenderActionFlags flags = 0;
        const auto status =
            block_(&flags, &ts, frames, bus, &out, events_.empty() ? nullptr : &events_[0], &pull_);
        sampleTime_ += frames;
        return status;
    }

    const std::vector<float>& left() const { return outL_; }
    const std::vector<float>& input() const { return inL_; }

private:
    plat::AURenderBlock block_;
    std::vector<float> outL_, outR_, inL_, inR_;
    std::vector<plat::AURenderEvent> events_;
    plat::AURenderPullInputBlock pull_;
    double phase_ = 0;
    std::int64_t sampleTime_ = 0;
};
