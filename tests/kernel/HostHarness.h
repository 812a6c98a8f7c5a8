#pragma once
// Drives the kernel adapter the way a host does: stereo buffers, a pull block that copies
// a source signal, and an event list built per cycle.

#include "ParameterEvents.h"
#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"

#include <cstring>
#include <vector>

class HostHarness {
public:
    explicit HostHarness(YUX_Sorvane_ExtensionDSPKernelAdapter& adapter, std::uint32_t maxFrames = 4096)
        : adapter_(adapter), outL_(maxFrames), outR_(maxFrames) {
        pull_ = [this](plat::AudioUnitRenderActionFlags*, const plat::AudioTimeStamp*,
                       plat::AUAudioFrameCount frames, plat::NSInteger,
                       plat::AudioBufferList* list) -> plat::AUAudioUnitStatus {
            for (std::uint32_t c = 0; c < list->mNumberBuffers && c < 2; ++c)
                std::memcpy(list->mBuffers[c].mData, source_[c] + sourcePos_, frames * sizeof(float));
            return plat::noErr;
        };
    }

    // Renders `frames` frames of the two source channels starting at `pos`, with the given
    // changes as parameter events; the output lands in left/right at `pos`.
    plat::AUAudioUnitStatus cycle(const float* srcL, const float* srcR, float* dstL, float* dstR,
                                  std::size_t pos, std::uint32_t frames,
                                  const std::vector<ParameterChange>& changes = {}) {
        source_[0] = srcL;
        source_[1] = srcR;
        sourcePos_ = pos;
        const plat::AURenderEvent* events = events_.build(sampleTime_, changes);
        plat::AudioBufferList out;
        out.mNumberBuffers = 2;
        out.mBuffers[0] = {1, frames * 4u, outL_.data()};
        out.mBuffers[1] = {1, frames * 4u, outR_.data()};
        plat::AudioTimeStamp ts;
        ts.mSampleTime = double(sampleTime_);
        plat::AudioUnitRenderActionFlags flags = 0;
        const auto status = adapter_.render(&flags, &ts, frames, 0, &out, events, &pull_);
        sampleTime_ += frames;
        if (status == plat::noErr) {
            std::memcpy(dstL + pos, outL_.data(), frames * sizeof(float));
            std::memcpy(dstR + pos, outR_.data(), frames * sizeof(float));
        }
        return status;
    }

    std::int64_t sampleTime() const { return sampleTime_; }

private:
    YUX_Sorvane_ExtensionDSPKernelAdapter& adapter_;
    std::vector<float> outL_, outR_;
    ParameterEvents events_;
    plat::AURenderPullInputBlock pull_;
    const float* source_[2] = {nullptr, nullptr};
    std::size_t sourcePos_ = 0;
    std::int64_t sampleTime_ = 0;
};
