// Whole-file decoding through libavformat, libavcodec and libswresample into one float vector per
// channel, at the file's own rate and channel count.
//
// Clips may come from anywhere, so what one costs is bounded before anything is built for it: a
// declared length beyond the byte bound is refused at once, one frame may not exceed it either,
// and since declarations lie the bound holds again as each frame is stored. Frames are converted
// to the format the stream declared: a stream whose layout changes (two streams concatenated) is
// mixed to it, one whose rate changes is refused rather than played at the wrong speed. A damaged
// packet costs its own sound only: where the frames' time stamps show that sound is missing (a
// packet the decoder refused, or one it let go without a frame), silence of that length takes its
// place, so what follows stays where it was; the same holds for damaged packets at the end, up to
// the end of the last packet.
#include "AudioCodecs.h"
#include "LibavSupport.h"
#include "RateConverter.h"

#include "plat/console.h"

#include <algorithm>
#include <optional>
#include <system_error>

namespace plat::engine_detail {

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kBound = AVAudioFile::kMaximumDecodedBytes;

Error undecodable(const fs::path& path, const std::string& why) {
    return Error{kCocoaErrorDomain, kFileReadCorruptFileError,
                 "The file '" + cutInMiddle(path.string()) + "' cannot be decoded: " + why + "."};
}

Error tooLarge(const fs::path& path) {
    return Error{kCocoaErrorDomain, kFileReadTooLargeError,
                 "The file '" + cutInMiddle(path.string()) +
                     "' is too long: decoded, it would take more than " + std::to_string(kBound >> 20) +
                     " MiB."};
}

// What the stream probe may decode: audio only. An image or video stream passed off as a clip would
// otherwise be decoded to learn its format, and a few bytes of image may ask for gigabytes.
// Never destroyed: a clip may still be opening on another thread while the process exits.
const char* audioDecoders() {
    static const auto* names = new std::string([] {
        std::string list;
        void* at = nullptr;
        while (const AVCodec* codec = av_codec_iterate(&at))
            if (codec->type == AVMEDIA_TYPE_AUDIO && av_codec_is_decoder(codec))
                list.append(list.empty() ? "" : ",").append(codec->name);
        return list;
    }());
    return names->c_str();
}

class Decoder {
public:
    explicit Decoder(const fs::path& path) : path_(path) {}

    Result<std::shared_ptr<const AVAudioFile::Samples>> run() {
        // The "file:" prefix keeps names with a colon from being read as another protocol.
        setUpLibav();
        const std::string url = "file:" + path_.string();
        AVFormatContext* opened = nullptr;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "codec_whitelist", audioDecoders(), 0);
        const int opening = avformat_open_input(&opened, url.c_str(), nullptr, &options);
        av_dict_free(&options);
        if (opening < 0) return undecodable(path_, avErrorText(opening));
        format_.reset(opened);
        if (const int rc = avformat_find_stream_info(format_.get(), nullptr); rc < 0)
            return undecodable(path_, avErrorText(rc));
        const AVCodec* codec = nullptr;
        const int stream = av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (stream == AVERROR_DECODER_NOT_FOUND) return undecodable(path_, "no decoder for its audio");
        if (stream < 0) return undecodable(path_, "it holds no audio");
        codec_.reset(avcodec_alloc_context3(codec));
        if (!codec_) return undecodable(path_, "out of memory");
        avcodec_parameters_to_context(codec_.get(), format_->streams[stream]->codecpar);
        // Frames carry the packets' time stamps, moved past any samples the decoder drops.
        codec_->pkt_timebase = format_->streams[stream]->time_base;
        codec_->thread_count = 1;
        // Counted over all channels: a frame holding more than the bound is refused before the
        // decoder allocates it.
        codec_->max_samples = kBound / sizeof(float);
        if (const int rc = avcodec_open2(codec_.get(), codec, nullptr); rc < 0)
            return undecodable(path_, avErrorText(rc));
        const int channels = codec_->ch_layout.nb_channels;
        if (channels <= 0) return undecodable(path_, "it has no channels");
        if (std::uint32_t(channels) > AudioBufferList::kCapacity)
            return undecodable(path_,
                               std::to_string(channels) + " channels are more than this player handles");
        if (codec_->sample_rate <= 0) return undecodable(path_, "it has no sample rate");
        // A clip is read to be played: a rate the engine cannot convert is refused here.
        if (codec_->sample_rate < RateConverter::kMinimumRate ||
            codec_->sample_rate > RateConverter::kMaximumRate)
            return undecodable(path_, "its sample rate of " + std::to_string(codec_->sample_rate) +
                                          " Hz is outside the rates the engine plays (1 kHz to 768 kHz)");
        // The decoder follows the stream's changes in its context; these stay as declared.
        rate_ = codec_->sample_rate;
        layout_.emplace(codec_->ch_layout);
        limit_ = kBound / std::int64_t(sizeof(float) * channels);

        // A length the container states (not one guessed from the bit rate) is checked before
        // anything is decoded, and sizes the vectors.
        const AVStream* audio = format_->streams[stream];
        timeBase_ = audio->time_base;
        AVAudioFramePosition declared = 0;
        if (audio->duration != AV_NOPTS_VALUE && audio->duration > 0 &&
            format_->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
            const double length = double(audio->duration) * av_q2d(audio->time_base) * rate_;
            if (length > double(limit_)) return tooLarge(path_);
            declared = AVAudioFramePosition(length + 0.5);
        }

        auto samples = std::make_shared<AVAudioFile::Samples>(
            AVAudioFile::Samples{AVAudioFormat(rate_, std::uint32_t(channels)), {}});
        samples->channels.resize(std::size_t(channels));
        for (auto& channel : samples->channels) channel.reserve(std::size_t(declared));
        samples_ = samples.get();

        Packet packet;
        int rc;
        while ((rc = av_read_frame(format_.get(), packet.get())) >= 0) {
            Result<void> sent = {};
            if (packet->stream_index == stream) {
                noteEnd(packet.get());
                sent = send(packet.get());
            }
            av_packet_unref(packet.get());
            if (!sent.ok()) return sent.error();
        }
        if (rc != AVERROR_EOF) return undecodable(path_, avErrorText(rc));
        if (auto flushed = send(nullptr); !flushed.ok()) return flushed.error();
        if (started_ && packetsEnd_ && *packetsEnd_ > next_)
            if (auto filled = fill(std::min(*packetsEnd_ - next_, lost_)); !filled.ok())
                return filled.error();
        // The decoder hands out whole codec frames; the container knows where the sound ends.
        const AVAudioFramePosition frames =
            declared > 0 ? std::min(declared, samples->frames()) : samples->frames();
        for (auto& channel : samples->channels) {
            channel.resize(std::size_t(frames));
            // Room kept for a declared length the file did not hold.
            if (channel.capacity() > 2 * channel.size()) channel.shrink_to_fit();
        }
        if (frames == 0)
            return undecodable(path_, damaged_ ? avErrorText(AVERROR_INVALIDDATA) : "it holds no audio");
        return std::shared_ptr<const AVAudioFile::Samples>(std::move(samples));
    }

private:
    // A packet that brings no sound (a damaged one) leaves its length to be made up for with
    // silence when the time stamps show the gap.
    Result<void> send(const AVPacket* packet) {
        const std::uint64_t before = received_;
        auto result = decode(packet);
        if (packet && received_ == before) lost_ += lengthOf(*packet);
        return result;
    }

    // A damaged packet, or the part of one that a cut-off file ends in, costs its own sound only.
    Result<void> decode(const AVPacket* packet) {
        int rc = avcodec_send_packet(codec_.get(), packet);
        while (rc >= 0 || rc == AVERROR(EAGAIN)) {
            rc = avcodec_receive_frame(codec_.get(), frame_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
            if (rc < 0) break;
            auto converted = convert(frame_.get());
            av_frame_unref(frame_.get());
            if (!converted.ok()) return converted;
        }
        // Decoders report a damaged packet in many ways (invalid data, features the packet seems to
        // ask for, numbers of their own); only running out of memory is the decoder's own failure.
        if (rc == AVERROR(ENOMEM)) return undecodable(path_, avErrorText(rc));
        damaged_ = true;
        return {};
    }

    // A time stamp of the stream, in frames at the declared rate.
    std::optional<std::int64_t> framesAt(std::int64_t stamp) const {
        if (stamp == AV_NOPTS_VALUE || timeBase_.num <= 0 || timeBase_.den <= 0) return std::nullopt;
        return av_rescale_q_rnd(stamp, timeBase_, AVRational{1, rate_},
                                AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    }

    // Where the stream's packets end, so that damaged packets at the end are made up for too.
    void noteEnd(const AVPacket* packet) {
        if (packet->duration <= 0) return;
        const auto start = framesAt(packet->pts);
        const auto length = framesAt(packet->duration);
        if (!start || !length) return;
        packetsEnd_ = std::max(packetsEnd_.value_or(*start + *length), *start + *length);
    }

    // A packet's length in frames: as the container states it, else the codec's frame size, else
    // as long as the last frame.
    std::int64_t lengthOf(const AVPacket& packet) const {
        if (packet.duration > 0)
            if (const auto length = framesAt(packet.duration)) return *length;
        return codec_->frame_size > 0 ? codec_->frame_size : lastFrame_;
    }

    // Silence of `frames` frames appended, within the bound.
    Result<void> fill(std::int64_t frames) {
        if (samples_->frames() + frames > limit_) return tooLarge(path_);
        for (auto& channel : samples_->channels) channel.resize(channel.size() + std::size_t(frames), 0.0f);
        next_ += frames;
        return {};
    }

    // Converts to planar float in the declared layout; a converter is made again whenever a frame
    // brings another layout or sample format. Rates never differ, so nothing stays buffered in it.
    Result<void> convert(const AVFrame* frame) {
        if (frame->sample_rate != rate_)
            return undecodable(path_, "its sample rate changes from " + std::to_string(rate_) + " Hz to " +
                                          std::to_string(frame->sample_rate) + " Hz part way");
        // Sound missing before this frame becomes silence, as long as the gap in the time stamps
        // and no longer than the packets that brought none: a time stamp that merely jumps adds
        // nothing.
        ++received_;
        if (const auto at = framesAt(frame->best_effort_timestamp)) {
            if (started_ && *at > next_)
                if (auto filled = fill(std::min(*at - next_, lost_)); !filled.ok()) return filled;
            next_ = *at;
            started_ = true;
        }
        lost_ = 0;
        lastFrame_ = frame->nb_samples;
        next_ += frame->nb_samples;
        OrderedLayout in(frame->ch_layout); // swr_alloc_set_opts2 takes it non-const
        if (!resampler_ || frame->format != inputFormat_ || av_channel_layout_compare(&in, &*input_) != 0) {
            input_.emplace(frame->ch_layout);
            inputFormat_ = frame->format;
            SwrContext* made = nullptr;
            const bool ok = swr_alloc_set_opts2(&made, &*layout_, AV_SAMPLE_FMT_FLTP, rate_, &in,
                                                AVSampleFormat(frame->format), rate_, 0, nullptr) >= 0 &&
                            swr_init(made) >= 0;
            resampler_.reset(made);
            if (!ok) return undecodable(path_, "its samples cannot be converted");
        }
        const AVAudioFramePosition have = samples_->frames();
        const int room = swr_get_out_samples(resampler_.get(), frame->nb_samples);
        if (room < 0) return undecodable(path_, avErrorText(room));
        if (have + room > limit_) return tooLarge(path_);
        std::uint8_t* outputs[AudioBufferList::kCapacity] = {};
        for (std::size_t c = 0; c < samples_->channels.size(); ++c) {
            auto& channel = samples_->channels[c];
            // Grown by doubling, never past the bound.
            if (std::size_t(have + room) > channel.capacity())
                channel.reserve(std::size_t(std::min<AVAudioFramePosition>(
                    std::max<AVAudioFramePosition>(have + room, 2 * AVAudioFramePosition(channel.capacity())),
                    limit_)));
            channel.resize(std::size_t(have + room));
            outputs[c] = reinterpret_cast<std::uint8_t*>(channel.data() + have);
        }
        const int made =
            swr_convert(resampler_.get(), outputs, room,
                        const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
        if (made < 0) return undecodable(path_, avErrorText(made));
        for (auto& channel : samples_->channels) channel.resize(std::size_t(have + made));
        return {};
    }

    fs::path path_;
    FormatInput format_;
    CodecContext codec_;
    Resampler resampler_;
    Frame frame_;
    AVAudioFile::Samples* samples_ = nullptr;
    std::optional<OrderedLayout> layout_; // what every frame is mixed to
    std::optional<OrderedLayout> input_;  // and what the converter takes now, with inputFormat_
    int inputFormat_ = AV_SAMPLE_FMT_NONE;
    int rate_ = 0;
    AVAudioFramePosition limit_ = 0; // frames per channel within the bound
    bool damaged_ = false;
    AVRational timeBase_{0, 1};
    bool started_ = false;                   // a frame with a time stamp came
    std::int64_t next_ = 0;                  // where the next frame's sound belongs, in frames
    std::optional<std::int64_t> packetsEnd_; // where the last packet ends, in frames
    std::uint64_t received_ = 0;             // frames the decoder handed out
    std::int64_t lost_ = 0;                  // frames of the packets since the last frame that brought none
    std::int64_t lastFrame_ = 0;             // samples in the last frame
};

} // namespace

Result<std::shared_ptr<const AVAudioFile::Samples>> decodeAudioFile(const fs::path& path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found)
        return Error{kCocoaErrorDomain, kFileReadNoSuchFileError,
                     "The file '" + cutInMiddle(path.string()) + "' does not exist."};
    if (ec) return undecodable(path, ec.message()); // a loop of links, a folder closed to us
    if (fs::is_directory(status)) return undecodable(path, "it is a folder");
    // A pipe or a device may never end, or keep the reading thread waiting for good.
    if (!fs::is_regular_file(status)) return undecodable(path, "it is not a regular file");
    return Decoder(path).run();
}

} // namespace plat::engine_detail
