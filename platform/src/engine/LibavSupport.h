#pragma once
// Owning handles for the libav objects the codecs use, and libav's error text.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include "plat/audiofile.h"

#include <memory>
#include <mutex>
#include <string>

namespace plat::engine_detail {

inline std::string avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// libav reports problems on standard error; ours reach the caller with the same reason instead.
// Containers size some tables from a count in their header before reading them (49 bytes of MP4
// made libav ask for 512 MiB), so no single libav allocation may exceed what a whole clip may
// decode to.
inline void setUpLibav() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_QUIET);
        av_max_alloc(std::size_t(AVAudioFile::kMaximumDecodedBytes) + (std::size_t(1) << 20));
    });
}

struct FormatInputClose {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ResamplerFree {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using FormatInput = std::unique_ptr<AVFormatContext, FormatInputClose>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using Resampler = std::unique_ptr<SwrContext, ResamplerFree>;
using AudioFifo = std::unique_ptr<AVAudioFifo, FifoFree>;

// An owned copy of a channel layout (custom orders carry an allocated map). An unordered one takes
// the usual order for its count, so that it can be mixed to another.
struct OrderedLayout : AVChannelLayout {
    explicit OrderedLayout(const AVChannelLayout& from) : AVChannelLayout{} {
        if (from.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(this, from.nb_channels);
        else
            av_channel_layout_copy(this, &from);
    }
    ~OrderedLayout() { av_channel_layout_uninit(this); }
    OrderedLayout(const OrderedLayout&) = delete;
    OrderedLayout& operator=(const OrderedLayout&) = delete;
};

// Allocated on construction; null only when memory ran out.
struct Frame : std::unique_ptr<AVFrame, FrameFree> {
    Frame() : std::unique_ptr<AVFrame, FrameFree>(av_frame_alloc()) {}
};
struct Packet : std::unique_ptr<AVPacket, PacketFree> {
    Packet() : std::unique_ptr<AVPacket, PacketFree>(av_packet_alloc()) {}
};

} // namespace plat::engine_detail
