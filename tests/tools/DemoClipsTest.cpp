// The demonstration clips as the application will find them: 80 stereo 48 kHz clips that
// loop on whole encoder frames at one loudness, all different, and made again byte for byte.
#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace fs = std::filesystem;

namespace {

constexpr int kClips = 80;

struct Clip {
    int rate = 0, channels = 0;
    int64_t declaredFrames = 0; // the length the file's header gives
    std::vector<float> samples; // interleaved
};

Clip decode(const fs::path& path) {
    Clip clip;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return clip;
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(context, frame) >= 0)
            for (int i = 0; i < frame->nb_samples; ++i)
                for (int c = 0; c < clip.channels; ++c)
                    clip.samples.push_back(reinterpret_cast<const float*>(frame->data[c])[i]);
    };
    if (stream >= 0 && avcodec_parameters_to_context(context, format->streams[stream]->codecpar) >= 0 &&
        avcodec_open2(context, codec, nullptr) >= 0 && context->sample_fmt == AV_SAMPLE_FMT_FLTP) {
        const AVStream* st = format->streams[stream];
        clip.rate = context->sample_rate, clip.channels = context->ch_layout.nb_channels;
        clip.declaredFrames = av_rescale_q(st->duration, st->time_base, AVRational{1, clip.rate});
        for (; av_read_frame(format, packet) >= 0; av_packet_unref(packet))
            if (packet->stream_index == stream && avcodec_send_packet(context, packet) >= 0) drain();
        avcodec_send_packet(context, nullptr);
        drain();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return clip;
}

// The bytes of clip `number` in `folder`.
std::string bytes(const fs::path& folder, int number) {
    std::ifstream in(folder / (std::to_string(number) + ".m4a"), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(DemoClips, GeneratorWritesTheSameBytesEveryRun) {
    const fs::path again = fs::temp_directory_path() / ("democlips-" + std::to_string(::getpid()));
    fs::remove_all(again);
    ASSERT_EQ(runCommand(std::string(DEMOCLIPS_GENERATOR) + " '" + again.string() + "'", 150), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(again), {}), kClips);
    for (int n = 1; n <= kClips; ++n)
        EXPECT_TRUE(bytes(again, n) == bytes(DEMOCLIPS_FOLDER, n)) << "clip " << n;
    fs::remove_all(again);
}

TEST(DemoClips, DistinctStereoLoopsAtOneLoudness) {
    std::set<size_t> fingerprints;
    for (int n = 1; n <= kClips; ++n) {
        SCOPED_TRACE("clip " + std::to_string(n));
        const Clip clip = decode(fs::path(DEMOCLIPS_FOLDER) / (std::to_string(n) + ".m4a"));
        ASSERT_TRUE(clip.channels == 2 && clip.rate == 48000) << clip.channels << " " << clip.rate;
        const size_t frames = clip.samples.size() / 2;
        // Encoder padding past the declared end would play as a gap on every pass, and a length
        // declared short of what decodes cuts the loop.
        EXPECT_EQ(int64_t(frames), clip.declaredFrames);
        EXPECT_TRUE(frames >= 3u * 48000 && frames <= 9u * 48000) << frames;
        double sum = 0;
        float peak = 0;
        for (float s : clip.samples) sum += double(s) * s, peak = std::max(peak, std::fabs(s));
        const double rmsDb = 10.0 * std::log10(sum / double(clip.samples.size())),
                     peakDb = 20.0 * std::log10(peak);
        EXPECT_TRUE(peakDb <= -1.0 && peakDb >= -7.5) << peakDb;
        EXPECT_TRUE(rmsDb >= -21.5 && rmsDb <= -14.5) << rmsDb;
        fingerprints.insert(std::hash<std::string_view>{}(std::string_view(
            reinterpret_cast<const char*>(clip.samples.data()), clip.samples.size() * sizeof(float))));
    }
    EXPECT_EQ(fingerprints.size(), size_t(kClips));
}

} // namespace
