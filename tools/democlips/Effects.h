#pragma once
// The shared rooms of a clip: a stereo reverb (parallel damped combs into allpasses, the
// two channels tuned apart for width), a ping-pong echo, and a chorus for pads.

#include "Dsp.h"

#include <vector>

namespace democlips {

class Reverb {
public:
    Reverb(float size, float damping);
    // Adds the reverberated `in` (mono send) to the two outputs.
    void process(const std::vector<float>& in, std::vector<float>& left, std::vector<float>& right);

private:
    struct Comb {
        std::vector<float> buf;
        size_t at = 0;
        float store = 0;
    };
    struct Allpass {
        std::vector<float> buf;
        size_t at = 0;
    };
    float feedback_, damping_;
    std::vector<Comb> combs_[2];
    std::vector<Allpass> allpasses_[2];
};

// Echoes bounce between the channels; each repeat is darker and quieter.
void pingPong(const std::vector<float>& in, float delaySeconds, float feedback, std::vector<float>& left,
              std::vector<float>& right);

// Two slowly swept short delays, one per side, mixed with the dry signal.
void chorus(std::vector<float>& left, std::vector<float>& right, float amount);

} // namespace democlips
