#pragma once
// A host rendering stereo through a render block: its pull block hands over the two input
// channels, and parameter changes become the cycle's event list, built in reserved storage so
// that a cycle allocates nothing of the host's own.

#include "plat/audio.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

struct ParameterChange {
    std::int64_t offset; // frames into the cycle
    plat::AUParameterAddress address;
    float value;
};

class RenderHost {
public:
    // `in` starts as a 1 kHz sine at 48 kHz of peak `level` on both channels.
    explicit RenderHost(plat::AUInternalRenderBlock block, std::uint32_t maxFrames = 4096, float level = 0.5f)
        : block_(std::move(block)) {
        for (auto* v : {&in[0], &in[1], &out[0], &out[1]}) v->assign(maxFrames, 0.0f);
        for (std::uint32_t i = 0; i < maxFrames; ++i)
            in[0][i] = in[1][i] = level * float(std::sin(2 * 3.14159265358979 * 1000 * i / 48000));
        events_.reserve(1024);
        pull_ = [this](auto*, auto*, plat::AUAudioFrameCount frames, plat::NSInteger,
                       plat::AudioBufferList* list) {
            for (std::uint32_t c = 0; c < list->mNumberBuffers && c < 2; ++c)
                std::copy_n(source_[c] ? source_[c] : in[c].data(), frames,
                            static_cast<float*>(list->mBuffers[c].mData));
            return plat::noErr;
        };
    }

    // Renders the first `frames` frames of `in` into `out`.
    plat::AUAudioUnitStatus cycle(std::uint32_t frames, const std::vector<ParameterChange>& changes = {},
                                  plat::NSInteger bus = 0) {
        plat::AudioBufferList list;
        list.mNumberBuffers = 2;
        for (int c = 0; c < 2; ++c) list.mBuffers[c] = {1, std::uint32_t(out[c].size() * 4), out[c].data()};
        return cycle(frames, list, changes, bus);
    }

    // Renders the first `frames` frames of `in` with the host's own output list; one whose data
    // pointers are null asks the unit for buffers of its own, and shows where the output landed.
    plat::AUAudioUnitStatus cycle(std::uint32_t frames, plat::AudioBufferList& list,
                                  const std::vector<ParameterChange>& changes = {}, plat::NSInteger bus = 0) {
        events_.assign(changes.size(), plat::AURenderEvent{});
        for (std::size_t i = 0; i < changes.size(); ++i) {
            auto& e = events_[i].parameter;
            e.next = i + 1 < changes.size() ? &events_[i + 1] : nullptr;
            e.eventSampleTime = sampleTime_ + changes[i].offset;
            e.eventType = plat::AURenderEventType::Parameter;
            e.parameterAddress = changes[i].address;
            e.value = changes[i].value;
        }
        plat::AudioTimeStamp ts;
        ts.mSampleTime = double(sampleTime_);
        ts.mFlags = plat::kAudioTimeStampSampleTimeValid;
        plat::AudioUnitRenderActionFlags flags = 0;
        const auto status =
            block_(&flags, &ts, frames, bus, &list, events_.empty() ? nullptr : &events_[0], &pull_);
        sampleTime_ += frames;
        return status;
    }

    // Renders frames [pos, pos + frames) of `l`, `r` and, when that succeeds, writes the output
    // at the same place of `outL`, `outR`.
    plat::AUAudioUnitStatus cycle(const float* l, const float* r, float* outL, float* outR, std::size_t pos,
                                  std::uint32_t frames, const std::vector<ParameterChange>& changes = {}) {
        source_[0] = l + pos;
        source_[1] = r + pos;
        const auto status = cycle(frames, changes);
        source_[0] = source_[1] = nullptr;
        if (status == plat::noErr) {
            std::copy_n(out[0].data(), frames, outL + pos);
            std::copy_n(out[1].data(), frames, outR + pos);
        }
        return status;
    }

    std::vector<float> in[2], out[2];

private:
    plat::AUInternalRenderBlock block_;
    std::vector<plat::AURenderEvent> events_;
    plat::AURenderPullInputBlock pull_;
    const float* source_[2] = {nullptr, nullptr};
    std::int64_t sampleTime_ = 0;
};
