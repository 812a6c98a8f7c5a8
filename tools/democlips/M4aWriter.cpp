#include "M4aWriter.h"

#include <algorithm>
#include <filesystem>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

namespace democlips {

namespace {

constexpr int64_t kBitRate = 160000;

struct CodecCtxFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FormatCtxFree {
    void operator()(AVFormatContext* f) const {
        if (f->pb) avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

std::string avError(const char* what, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return std::string(what) + ": " + text;
}

// Drains every packet the encoder has ready into the muxer.
int drain(AVCodecContext* codec, AVFormatContext* format, AVStream* stream, AVPacket* packet) {
    for (;;) {
        int rc = avcodec_receive_packet(codec, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return 0;
        if (rc < 0) return rc;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        rc = av_interleaved_write_frame(format, packet);
        if (rc < 0) return rc;
    }
}

bool encode(const std::string& path, const StereoBuffer& audio, int sampleRate, size_t leadIn,
            std::string& error) {
    const AVCodec* aac = avcodec_find_encoder_by_name("aac");
    if (!aac) {
        error = "the native AAC encoder is missing from libavcodec";
        return false;
    }
    const AVOutputFormat* m4a = av_guess_format("ipod", nullptr, nullptr);
    AVFormatContext* rawFormat = nullptr;
    int rc = avformat_alloc_output_context2(&rawFormat, m4a, nullptr, path.c_str());
    if (rc < 0) {
        error = avError("cannot set up the m4a muxer", rc);
        return false;
    }
    std::unique_ptr<AVFormatContext, FormatCtxFree> format(rawFormat);
    format->flags |= AVFMT_FLAG_BITEXACT;

    std::unique_ptr<AVCodecContext, CodecCtxFree> codec(avcodec_alloc_context3(aac));
    codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec->sample_rate = sampleRate;
    codec->bit_rate = kBitRate;
    codec->thread_count = 1;
    codec->time_base = AVRational{1, sampleRate};
    codec->flags |= AV_CODEC_FLAG_BITEXACT;
    av_channel_layout_default(&codec->ch_layout, 2);
    if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Temporal noise shaping in this encoder now and then throws a loud spike into a frame
    // of plucked or panned material; the clips sound cleaner without it.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "aac_tns", "0", 0);
    rc = avcodec_open2(codec.get(), aac, &options);
    av_dict_free(&options);
    if (rc < 0) {
        error = avError("cannot open the AAC encoder", rc);
        return false;
    }

    AVStream* stream = avformat_new_stream(format.get(), nullptr);
    stream->time_base = codec->time_base;
    avcodec_parameters_from_context(stream->codecpar, codec.get());
    if ((rc = avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
        error = avError(("cannot create " + path).c_str(), rc);
        return false;
    }
    // The movie's own time scale is the sample rate, so the lengths the file declares (movie,
    // track, edit list) are whole samples; at the default millisecond scale they round.
    AVDictionary* muxerOptions = nullptr;
    av_dict_set_int(&muxerOptions, "movie_timescale", sampleRate, 0);
    rc = avformat_write_header(format.get(), &muxerOptions);
    av_dict_free(&muxerOptions);
    if (rc < 0) {
        error = avError("cannot write the m4a header", rc);
        return false;
    }

    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    // Frames before zero (negative time stamps) become the edit list's skipped lead-in.
    const size_t chunk = size_t(codec->frame_size), total = leadIn + audio.frames();
    for (size_t at = 0; at < total && rc >= 0; at += chunk) {
        const size_t n = std::min(total - at, chunk);
        av_frame_unref(frame.get());
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = sampleRate;
        frame->nb_samples = int(n);
        frame->pts = int64_t(at) - int64_t(leadIn);
        av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
        if ((rc = av_frame_get_buffer(frame.get(), 0)) < 0) break;
        float* left = reinterpret_cast<float*>(frame->data[0]);
        float* right = reinterpret_cast<float*>(frame->data[1]);
        for (size_t i = 0; i < n; ++i) {
            // Time at + i of the lead-in-and-loop sequence is frame (at + i - leadIn) mod length.
            const size_t from = (at + i + audio.frames() - leadIn) % audio.frames();
            left[i] = audio.left[from];
            right[i] = audio.right[from];
        }
        if ((rc = avcodec_send_frame(codec.get(), frame.get())) < 0) break;
        rc = drain(codec.get(), format.get(), stream, packet.get());
    }
    if (rc >= 0 && (rc = avcodec_send_frame(codec.get(), nullptr)) >= 0)
        rc = drain(codec.get(), format.get(), stream, packet.get());
    if (rc >= 0) rc = av_write_trailer(format.get());
    if (rc >= 0) rc = avio_closep(&format->pb);
    if (rc < 0) {
        error = avError(("cannot encode " + path).c_str(), rc);
        return false;
    }
    return true;
}

} // namespace

bool writeM4a(const std::string& path, const StereoBuffer& audio, int sampleRate, std::string& error,
              size_t loopLeadIn) {
    if (audio.frames() == 0 || audio.right.size() != audio.frames()) {
        error = "cannot encode " + path + ": no audio, or channels of different lengths";
        return false;
    }
    const std::string temporary = path + ".part";
    const bool ok = encode(temporary, audio, sampleRate, std::min(loopLeadIn, audio.frames()), error);
    std::error_code ec;
    if (ok) std::filesystem::rename(temporary, path, ec);
    if (!ok || ec) {
        if (ec) error = "cannot move " + temporary + " into place: " + ec.message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

} // namespace democlips
