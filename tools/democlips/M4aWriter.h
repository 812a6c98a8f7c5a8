#pragma once
// Encodes a stereo float buffer as an AAC-LC .m4a file with fixed settings, so the same
// samples give the same bytes on every run: libavcodec's own AAC encoder at 160 kb/s, one
// thread, bit-exact flags on codec and muxer (no version strings, no creation time).

#include <string>
#include <vector>

namespace democlips {

// Samples in one AAC frame: a clip of whole frames decodes to exactly its own length.
constexpr size_t kAacFrame = 1024;

struct StereoBuffer {
    std::vector<float> left, right;
    size_t frames() const { return left.size(); }
};

// Writes through a temporary file beside `path` and renames it into place; on failure
// returns false with a message in `error` and leaves no partial file behind.
//
// A loop that starts on a loud downbeat would have its first frame coded against silence,
// with audible smearing and overshoot. With `loopLeadIn` frames the encoder first hears the
// loop's own ending; the file's edit list hides them, so decoders return exactly `audio`.
bool writeM4a(const std::string& path, const StereoBuffer& audio, int sampleRate, std::string& error,
              size_t loopLeadIn = 0);

} // namespace democlips
