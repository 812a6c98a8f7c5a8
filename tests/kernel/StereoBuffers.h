#pragma once
// Two channels of samples and the buffer list a host hands over for them.

#include "plat/audio.h"

#include <algorithm>
#include <vector>

struct Stereo {
    std::vector<float> l, r;
    plat::AudioBufferList list;
    explicit Stereo(std::size_t n, float value = 0.0f) : l(n, value), r(n, value) {
        list.mNumberBuffers = 2;
        list.mBuffers[0] = {1, std::uint32_t(n * 4), l.data()};
        list.mBuffers[1] = {1, std::uint32_t(n * 4), r.data()};
    }
};

// A pull block that hands over `source` on every channel.
inline plat::AURenderPullInputBlock pullOf(const std::vector<float>& source) {
    return [&source](auto*, auto*, plat::AUAudioFrameCount n, auto, plat::AudioBufferList* in) {
        for (std::uint32_t c = 0; c < in->mNumberBuffers; ++c)
            std::copy(source.begin(), source.begin() + n, static_cast<float*>(in->mBuffers[c].mData));
        return plat::noErr;
    };
}
