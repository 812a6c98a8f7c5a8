// Whole-file decoding through libavformat, libavcodec and libswresample into one float vector per
// channel, at the file's own rate and channel count.
#include "AudioCodecs.h"
#include "LibavSupport.h"

#include <system_error>

namespace plat::engine_detail {

namespace {

namespace fs = std::filesystem;

// About 46 minutes at 48 kHz: longer files are not demonstration material and would not fit memory.
constexpr AVAudioFramePosition kMaximumFrames = AVAudioFramePosition(1) << 27;

Error undecodable(const fs::path& path, const std::string& why) {
    return Error{kCocoaErrorDomain, kFileReadCorruptFileError,
                 "The file '" + path.string() + "' cannot be decoded: " + why + "."};
}

class Decoder {
public:
    explicit Decoder(const fs::path& path) : path_(path) {}

    Result<std::shared_ptr<const AVAudioFile::Samples>> run() {
        // The "file:" prefix keeps names with a colon from being read as another protocol.
        quietLibav();
        const std::string url = "file:" + path_.string();
        AVFormatContext* opened = nullptr;
        if (const int rc = avformat_open_input(&opened, url.c_str(), nullptr, nullptr); rc < 0)
            return undecodable(path_, avErrorText(rc));
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
        codec_->thread_count = 1;
        if (const int rc = avcodec_open2(codec_.get(), codec, nullptr); rc < 0)
            return undecodable(path_, avErrorText(rc));
        const int channels = codec_->ch_layout.nb_channels;
        if (channels <= 0 || std::uint32_t(channels) > AudioBufferList::kCapacity)
            return undecodable(path_,
                               std::to_string(channels) + " channels are more than this player handles");
        if (codec_->sample_rate <= 0) return undecodable(path_, "it has no sample rate");

        auto samples = std::make_shared<AVAudioFile::Samples>(
            AVAudioFile::Samples{AVAudioFormat(codec_->sample_rate, std::uint32_t(channels)), {}});
        samples->channels.resize(std::size_t(channels));
        samples_ = samples.get();

        Packet packet;
        int rc;
        while ((rc = av_read_frame(format_.get(), packet.get())) >= 0) {
            Result<void> sent = {};
            if (packet->stream_index == stream) sent = send(packet.get());
            av_packet_unref(packet.get());
            if (!sent.ok()) return sent.error();
        }
        if (rc != AVERROR_EOF) return undecodable(path_, avErrorText(rc));
        if (auto flushed = send(nullptr); !flushed.ok()) return flushed.error();
        // The decoder hands out whole codec frames; the container knows where the sound ends.
        const AVStream* audio = format_->streams[stream];
        if (audio->duration != AV_NOPTS_VALUE && audio->duration > 0) {
            const auto declared =
                av_rescale_q(audio->duration, audio->time_base, AVRational{1, codec_->sample_rate});
            if (declared < samples->frames())
                for (auto& channel : samples->channels) channel.resize(std::size_t(declared));
        }
        if (samples->frames() == 0) return undecodable(path_, "it holds no audio");
        return std::shared_ptr<const AVAudioFile::Samples>(std::move(samples));
    }

private:
    Result<void> send(const AVPacket* packet) {
        if (const int rc = avcodec_send_packet(codec_.get(), packet); rc < 0 && rc != AVERROR(EAGAIN))
            return undecodable(path_, avErrorText(rc));
        for (;;) {
            const int rc = avcodec_receive_frame(codec_.get(), frame_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
            if (rc < 0) return undecodable(path_, avErrorText(rc));
            auto converted = convert(frame_.get());
            av_frame_unref(frame_.get());
            if (!converted.ok()) return converted;
        }
    }

    // The converter is made for the first frame's layout and sample format.
    Result<void> convert(const AVFrame* frame) {
        if (!resampler_) {
            SwrContext* made = nullptr;
            AVChannelLayout layout = codec_->ch_layout;
            if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
                av_channel_layout_default(&layout, layout.nb_channels);
            const int rate = codec_->sample_rate;
            if (swr_alloc_set_opts2(&made, &layout, AV_SAMPLE_FMT_FLTP, rate, &layout,
                                    AVSampleFormat(frame->format), rate, 0, nullptr) < 0 ||
                swr_init(made) < 0) {
                swr_free(&made);
                return undecodable(path_, "its samples cannot be converted");
            }
            resampler_.reset(made);
        }
        const AVAudioFramePosition have = samples_->frames();
        const int room = swr_get_out_samples(resampler_.get(), frame->nb_samples);
        if (room < 0) return undecodable(path_, avErrorText(room));
        if (have + room > kMaximumFrames) return undecodable(path_, "it is too long to hold in memory");
        std::uint8_t* outputs[AudioBufferList::kCapacity] = {};
        for (std::size_t c = 0; c < samples_->channels.size(); ++c) {
            samples_->channels[c].resize(std::size_t(have + room));
            outputs[c] = reinterpret_cast<std::uint8_t*>(samples_->channels[c].data() + have);
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
};

} // namespace

Result<std::shared_ptr<const AVAudioFile::Samples>> decodeAudioFile(const fs::path& path) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::exists(status))
        return Error{kCocoaErrorDomain, kFileReadNoSuchFileError,
                     "The file '" + path.string() + "' does not exist."};
    if (fs::is_directory(status)) return undecodable(path, "it is a folder");
    return Decoder(path).run();
}

} // namespace plat::engine_detail
