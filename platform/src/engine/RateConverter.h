#pragma once
// Sample-rate conversion for the render thread: band-limited interpolation with a windowed sinc
// read from one table, so any ratio (and a ratio that changes between calls, as a player's files
// may) needs no table of its own, and nothing is allocated, locked or called into the system after
// construction. Output frame n is the source at n * from / to exactly: no delay is added, the
// source is read ahead by half the kernel instead, so a scheduled file keeps its place on the
// timeline and its own length in output frames.
//
// libswresample was the first choice, but its converter sizes internal buffers on use and flushes
// through delay; a pull-driven converter of our own keeps the render pull free of both.

#include "plat/audio.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace plat::engine_detail {

class RateConverter {
public:
    // Rates the engine converts between: finite, from 1 kHz to 768 kHz, and downwards by a factor
    // of at most 16 (the kernel widens with the factor).
    static constexpr double kMinimumRate = 1000.0;
    static constexpr double kMaximumRate = 768000.0;
    static constexpr double kMaximumDownFactor = 16.0;
    static bool convertible(double from, double to);
    // The rates above as messages name them.
    static constexpr const char* kRatesText = "between 1 kHz and 768 kHz, down by a factor of 16 at most";

    // Everything the render thread will touch is allocated here.
    explicit RateConverter(std::uint32_t channels);
    std::uint32_t channels() const { return channels_; }

    // Forgets what was read ahead and the place between source frames: the next render starts a new
    // stream, `offset` source frames (less than one output frame) after its first frame.
    void reset(double offset = 0);
    // Source frames pulled but not yet passed by the output.
    double readAhead() const { return double(filled_) - position_; }

    // Source frames the next call renders, `frames` into each of `into`'s buffers (one a channel).
    struct Source {
        virtual void pull(const AudioBufferList& into, AUAudioFrameCount frames) = 0;

    protected:
        ~Source() = default;
    };

    // Renders `frames` frames at `to` into the first `channels` buffers of `out`, reading the source
    // at `from`; the two rates must be convertible and `channels` at most channels(). The source is
    // pulled in pieces of at most kMaximumPull frames.
    void render(double from, double to, const AudioBufferList& out, std::uint32_t channels,
                AUAudioFrameCount frames, Source& source);

    static constexpr AUAudioFrameCount kMaximumPull = 4096;

private:
    static constexpr int kZeroCrossings = 16;    // half the kernel, in periods of the lower rate
    static constexpr int kTableResolution = 512; // table points per period
    static constexpr double kPassBand = 0.95;    // of the lower rate's Nyquist frequency
    static constexpr int kMaximumHalfTaps = int(kZeroCrossings * kMaximumDownFactor / kPassBand) + 2;
    static constexpr AUAudioFrameCount kCapacity = kMaximumPull + 4 * kMaximumHalfTaps;

    const std::vector<float>& table() const;

    std::uint32_t channels_;
    std::vector<std::vector<float>> input_; // per channel: history, then frames read ahead
    AudioBufferList pullTarget_;            // where the source writes next, inside input_
    std::vector<float> weights_;
    AUAudioFrameCount filled_ = 0; // valid frames in input_
    double position_ = 0;          // of the next output frame, in input_ frames
};

} // namespace plat::engine_detail
