#pragma once
// Audio files, read whole and decoded to 32-bit float before anyone plays them, so nothing is
// decoded on the render thread. Reading goes through libavformat/libavcodec/libswresample (m4a,
// WAV and whatever else they know); writing makes WAV (libsndfile) or m4a with libavcodec's own
// AAC encoder, single-threaded and bit-exact so the same samples always give the same bytes.
// A written file appears under its name only when it is closed complete.

#include "plat/audio.h"
#include "plat/error.h"
#include "plat/url.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace plat {

using AVAudioFramePosition = std::int64_t;

// Error codes of the file errors, in kCocoaErrorDomain.
inline constexpr long kFileReadCorruptFileError = 259;
inline constexpr long kFileReadNoSuchFileError = 260;
inline constexpr long kFileReadTooLargeError = 263;
inline constexpr long kFileWriteUnknownError = 512;

enum class AudioFileType { wav, m4a };
enum class AudioFileSampleFormat { float32, int16 }; // WAV only; m4a is always AAC

struct AVAudioFileSettings {
    AudioFileType fileType = AudioFileType::wav;
    double sampleRate = 48000.0;
    std::uint32_t channelCount = 2;
    AudioFileSampleFormat sampleFormat = AudioFileSampleFormat::float32;
    std::int64_t bitRate = 192000; // AAC
};

class AVAudioFile {
public:
    // What a file may decode to, all channels together; files declaring or holding more are
    // refused (that is about 5.8 minutes of 48 kHz stereo).
    static constexpr std::int64_t kMaximumDecodedBytes = std::int64_t(128) << 20;

    // Opens and decodes the whole file at its own rate and channel count, on any thread. A
    // missing file, one that holds no decodable audio or changes its sample rate part way, and
    // one beyond kMaximumDecodedBytes each fail with a description naming the file; frames whose
    // channel layout differs from the file's are mixed to it.
    static Result<std::shared_ptr<AVAudioFile>> forReading(const URL& url);
    // Starts a new file; it replaces whatever is at `url` when close() succeeds.
    static Result<std::shared_ptr<AVAudioFile>> forWriting(const URL& url,
                                                           const AVAudioFileSettings& settings);

    // A writer that was not closed is closed here, its error lost.
    ~AVAudioFile();
    AVAudioFile(const AVAudioFile&) = delete;
    AVAudioFile& operator=(const AVAudioFile&) = delete;

    const URL& url() const { return url_; }
    // What read() hands out and write() takes: 32-bit float, one buffer per channel.
    const AVAudioFormat& processingFormat() const { return format_; }
    // Frames in the file (for a writer: written so far).
    AVAudioFramePosition length() const;
    AVAudioFramePosition framePosition() const { return position_; }
    void setFramePosition(AVAudioFramePosition position);

    // Reads up to `frames` from framePosition on (fewer at the end; none past it is an error).
    Result<void> read(AVAudioPCMBuffer& buffer, AUAudioFrameCount frames);
    Result<void> read(AVAudioPCMBuffer& buffer) { return read(buffer, buffer.frameCapacity()); }
    // Appends the buffer's frameLength frames; its format must be the processing format.
    Result<void> write(const AVAudioPCMBuffer& buffer);
    // Finishes a written file and puts it in place. Reading files have nothing to close.
    Result<void> close();

    // The decoded samples, one vector per channel, shared with players that schedule the file.
    struct Samples {
        AVAudioFormat format;
        std::vector<std::vector<float>> channels;
        AVAudioFramePosition frames() const {
            return channels.empty() ? 0 : AVAudioFramePosition(channels[0].size());
        }
    };
    std::shared_ptr<const Samples> samples() const { return samples_; }

    class Writer;

private:
    AVAudioFile(URL url, AVAudioFormat format);
    URL url_;
    AVAudioFormat format_;
    AVAudioFramePosition position_ = 0;
    AVAudioFramePosition written_ = 0;
    std::shared_ptr<const Samples> samples_;
    std::unique_ptr<Writer> writer_;
};

} // namespace plat
