// The two writers behind AVAudioFile: WAV through libsndfile, m4a through libavformat's mp4 muxer
// and libavcodec's own AAC encoder. Both write a staged file that replaces the target on finish,
// and only if every write succeeded; only a regular file is ever replaced.
#include "AudioCodecs.h"
#include "LibavSupport.h"

#include "plat/console.h"
#include "plat/files.h"

#include <sndfile.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace plat::engine_detail {

namespace {

namespace fs = std::filesystem;

Error cannotWrite(const fs::path& path, std::string why) {
    // Library texts may end in a full stop of their own.
    while (!why.empty() && (why.back() == '.' || why.back() == ' ')) why.pop_back();
    return Error{kCocoaErrorDomain, kFileWriteUnknownError,
                 "The file '" + cutInMiddle(path.string()) + "' cannot be written: " + why + "."};
}

// `path`'s file name with `mark` before its extension, its stem `shorter` bytes shorter than would
// fit and cut at a character, so that the whole leaves `reserve` bytes of the name limit free. An
// extension that leaves no room goes with the stem.
std::string markedName(const fs::path& path, std::string_view mark, std::size_t reserve,
                       std::size_t shorter = 0) {
    std::string stem = path.stem().string(), extension = path.extension().string();
    if (mark.size() + reserve + extension.size() >= NAME_MAX) {
        stem += extension;
        extension.clear();
    }
    const std::size_t room = NAME_MAX - mark.size() - reserve - extension.size() - shorter;
    return std::string(cutAtCharacter(stem, room)) + std::string(mark) + extension;
}

// A WAV take is written under a visible name beside its target ("take.partial.wav") and put in
// place on finish. Its header's sizes are rewritten after the first block and then about once a
// second of sound, and the file synced, so a process killed outright (or a machine that loses
// power) leaves a file that WAV readers open, holding all but the last second or so; its name
// keeps it from the cleanup of stale temporaries. Where no such name is left the take is refused,
// never written under a hidden one that the cleanup removes.
class WavWriter final : public AVAudioFile::Writer {
public:
    static Result<std::unique_ptr<AVAudioFile::Writer>> make(const fs::path& path, AtomicFile staged,
                                                             const AVAudioFileSettings& settings) {
        const fs::path first = partialPath(path, 1);
        fs::path partial = first;
        Result<void> moved;
        for (unsigned number = 2; !(moved = staged.moveTemporaryTo(partial)).ok(); ++number) {
            if (moved.error().code != EEXIST) return cannotWrite(path, moved.error().description);
            if (number > kPartialNumbers)
                return cannotWrite(path, std::string(1, '\'').append(cutInMiddle(first.native())) +
                                             "' and its numbered names are all taken");
            partial = partialPath(path, number);
        }
        ::fchmod(staged.descriptor(), 0644);
        if (first.filename() != path.stem().string() + ".partial" + path.extension().string())
            Console::shared().writeLine("AVAudioFile: The take for '" + shownText(path.string()) +
                                        "' is written as '" + shownText(partial.string()) +
                                        "' until it is finished: its name is too long to take '.partial'.");
        SF_INFO info{};
        info.samplerate = int(settings.sampleRate);
        info.channels = int(settings.channelCount);
        // A WAV file counts its bytes in 32 bits: a take past 4 GiB (three hours of 48 kHz float
        // stereo) would close as a file whose header lies. Such a file becomes RF64, the WAV that
        // counts in 64 bits; anything shorter closes as plain WAV.
        info.format =
            SF_FORMAT_RF64 |
            (settings.sampleFormat == AudioFileSampleFormat::int16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
        // Which file the take is, to tell later whether its name still leads to it.
        struct stat made {};
        ::fstat(staged.descriptor(), &made);
        SNDFILE* file = sf_open_fd(staged.descriptor(), SFM_WRITE, &info, SF_FALSE);
        if (!file) return cannotWrite(path, sf_strerror(nullptr));
        sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
        // Samples beyond full scale are clipped rather than wrapped in 16-bit files.
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        return std::unique_ptr<AVAudioFile::Writer>(new WavWriter(
            path, std::move(staged), file, settings.channelCount, settings.sampleRate, partial, made));
    }

    ~WavWriter() override {
        if (file_) sf_close(file_);
        staged_.keep(); // a take is never deleted
    }

    Result<void> write(const float* const* channels, AUAudioFrameCount frames) override {
        if (failure_) return *failure_;
        constexpr AUAudioFrameCount kChunk = 4096;
        interleaved_.resize(std::size_t(kChunk) * channelCount_);
        for (AUAudioFrameCount done = 0; done < frames;) {
            const AUAudioFrameCount n = std::min(kChunk, frames - done);
            for (AUAudioFrameCount i = 0; i < n; ++i)
                for (std::uint32_t c = 0; c < channelCount_; ++c)
                    interleaved_[std::size_t(i) * channelCount_ + c] = channels[c][done + i];
            if (sf_writef_float(file_, interleaved_.data(), n) != sf_count_t(n))
                return keepPartial(sf_strerror(file_));
            done += n;
        }
        framesSinceHeader_ += frames;
        if (headerDue_ || framesSinceHeader_ >= framesPerHeader_) {
            sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
            if (sf_error(file_) != SF_ERR_NO_ERROR) return keepPartial(sf_strerror(file_));
            ::fdatasync(staged_.descriptor());
            framesSinceHeader_ = 0;
            headerDue_ = false;
        }
        return {};
    }

    Result<void> finish() override {
        if (failure_) return *failure_;
        const int closed = closeFile();
        if (closed != 0) return keepPartial(sf_error_number(closed));
        auto committed = staged_.commit();
        if (!committed.ok()) return keepPartial(committed.error().description);
        return committed;
    }

private:
    WavWriter(fs::path path, AtomicFile staged, SNDFILE* file, std::uint32_t channels, double sampleRate,
              fs::path partial, const struct stat& made)
        : path_(std::move(path)), staged_(std::move(staged)), file_(file), channelCount_(channels),
          framesPerHeader_(std::uint64_t(sampleRate)), partial_(std::move(partial)), device_(made.st_dev),
          inode_(made.st_ino) {}

    // Closes the file, its header fixed up for the frames written. For a take closed before its
    // first block, the library's fix-up tells the file 8 bytes shorter than it is, unless the
    // header was written whole once before.
    int closeFile() {
        if (headerDue_) sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        const int closed = sf_close(file_);
        file_ = nullptr;
        return closed;
    }

    // A failed write (a full disk) leaves the target as it was and keeps what was written beside it,
    // a complete file of its own; nothing more is written.
    Error keepPartial(const std::string& why) {
        if (failure_) return *failure_;
        if (file_) closeFile(); // fixes the header up for the frames that made it
        if (staged_.descriptor() >= 0) ::fsync(staged_.descriptor());
        staged_.keep();
        // By the file made, not the descriptor: a take that could not be put in place has closed
        // it already, and its name may lead to another file by now.
        struct stat named {};
        const bool there =
            ::stat(partial_.c_str(), &named) == 0 && named.st_dev == device_ && named.st_ino == inode_;
        Error error = cannotWrite(path_, why);
        error.description += there ? " What was written is kept in '" + cutInMiddle(partial_.string()) + "';"
                                   : " What was written was in '" + cutInMiddle(partial_.string()) +
                                         "', which is no longer there;";
        error.description += " the file itself is unchanged.";
        failure_ = error;
        return error;
    }

    fs::path path_;
    AtomicFile staged_;
    SNDFILE* file_;
    std::uint32_t channelCount_;
    std::uint64_t framesPerHeader_;
    std::uint64_t framesSinceHeader_ = 0;
    bool headerDue_ = true; // after the first block
    fs::path partial_;
    dev_t device_;
    ino_t inode_;
    std::vector<float> interleaved_;
    std::optional<Error> failure_;
};

class M4AWriter final : public AVAudioFile::Writer {
public:
    static Result<std::unique_ptr<AVAudioFile::Writer>> make(const fs::path& path, AtomicFile staged,
                                                             const AVAudioFileSettings& settings) {
        std::unique_ptr<M4AWriter> writer(new M4AWriter(path, std::move(staged)));
        if (auto opened = writer->open(settings); !opened.ok()) return opened.error();
        return std::unique_ptr<AVAudioFile::Writer>(std::move(writer));
    }

    ~M4AWriter() override {
        if (output_) {
            if (output_->pb) avio_closep(&output_->pb);
            avformat_free_context(output_);
        }
    }

    Result<void> write(const float* const* channels, AUAudioFrameCount frames) override {
        // The FIFO only reads through these pointers.
        void* planes[AudioBufferList::kCapacity] = {};
        for (int c = 0; c < encoder_->ch_layout.nb_channels; ++c) planes[c] = const_cast<float*>(channels[c]);
        if (failure_) return *failure_;
        if (av_audio_fifo_write(fifo_.get(), planes, int(frames)) < int(frames))
            failure_ = cannotWrite(path_, "out of memory");
        while (!failure_ && av_audio_fifo_size(fifo_.get()) >= encoder_->frame_size)
            if (auto sent = encodeFromFifo(encoder_->frame_size); !sent.ok()) failure_ = sent.error();
        if (failure_) return *failure_;
        return {};
    }

    Result<void> finish() override {
        // A file that missed some of its samples is not put in place.
        if (failure_) return *failure_;
        // The encoder takes a short last frame.
        if (const int rest = av_audio_fifo_size(fifo_.get()); rest > 0)
            if (auto sent = encodeFromFifo(rest); !sent.ok()) return sent;
        if (auto flushed = encode(nullptr); !flushed.ok()) return flushed;
        if (const int rc = av_write_trailer(output_); rc < 0) return cannotWrite(path_, avErrorText(rc));
        if (const int rc = avio_closep(&output_->pb); rc < 0) return cannotWrite(path_, avErrorText(rc));
        return staged_.commit();
    }

private:
    M4AWriter(fs::path path, AtomicFile staged) : path_(std::move(path)), staged_(std::move(staged)) {}

    Result<void> open(const AVAudioFileSettings& settings) {
        setUpLibav();
        if (avformat_alloc_output_context2(&output_, nullptr, "ipod", nullptr) < 0 || !output_)
            return cannotWrite(path_, "no m4a muxer");
        // No version strings or times in the file: the same samples always make the same bytes.
        output_->flags |= AVFMT_FLAG_BITEXACT;
        const AVCodec* codec = avcodec_find_encoder_by_name("aac");
        if (!codec) return cannotWrite(path_, "no AAC encoder");
        encoder_.reset(avcodec_alloc_context3(codec));
        if (!encoder_) return cannotWrite(path_, "out of memory");
        encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        encoder_->sample_rate = int(settings.sampleRate);
        av_channel_layout_default(&encoder_->ch_layout, int(settings.channelCount));
        encoder_->bit_rate = settings.bitRate;
        encoder_->time_base = AVRational{1, encoder_->sample_rate};
        encoder_->thread_count = 1;
        encoder_->flags |= AV_CODEC_FLAG_BITEXACT;
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        // Noise substitution would trade a band's waveform for noise of its level; keep the waveform.
        AVDictionary* codecOptions = nullptr;
        av_dict_set_int(&codecOptions, "aac_pns", 0, 0);
        const int opened = avcodec_open2(encoder_.get(), codec, &codecOptions);
        av_dict_free(&codecOptions);
        if (const int rc = opened; rc < 0)
            return cannotWrite(path_, "the AAC encoder refuses " + std::to_string(encoder_->sample_rate) +
                                          " Hz, " + std::to_string(settings.channelCount) + " channels (" +
                                          avErrorText(rc) + ")");
        stream_ = avformat_new_stream(output_, nullptr);
        if (!stream_) return cannotWrite(path_, "out of memory");
        avcodec_parameters_from_context(stream_->codecpar, encoder_.get());
        stream_->time_base = encoder_->time_base;
        fifo_.reset(
            av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, int(settings.channelCount), encoder_->frame_size));
        if (!fifo_ || !frame_ || !packet_) return cannotWrite(path_, "out of memory");
        const std::string url = "file:" + staged_.temporaryPath();
        if (const int rc = avio_open(&output_->pb, url.c_str(), AVIO_FLAG_WRITE); rc < 0)
            return cannotWrite(path_, avErrorText(rc));
        // The edit list that trims the encoder's priming and padding is timed in the movie's time
        // scale: at the sample rate it keeps the exact length (the default, milliseconds, does not).
        AVDictionary* options = nullptr;
        av_dict_set_int(&options, "movie_timescale", encoder_->sample_rate, 0);
        const int written = avformat_write_header(output_, &options);
        av_dict_free(&options);
        if (written < 0) return cannotWrite(path_, avErrorText(written));
        return {};
    }

    Result<void> encodeFromFifo(int frames) {
        av_frame_unref(frame_.get());
        frame_->nb_samples = frames;
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = encoder_->sample_rate;
        av_channel_layout_copy(&frame_->ch_layout, &encoder_->ch_layout);
        if (const int rc = av_frame_get_buffer(frame_.get(), 0); rc < 0)
            return cannotWrite(path_, avErrorText(rc));
        av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), frames);
        frame_->pts = nextPts_;
        nextPts_ += frames;
        return encode(frame_.get());
    }

    Result<void> encode(const AVFrame* frame) {
        if (const int rc = avcodec_send_frame(encoder_.get(), frame); rc < 0)
            return cannotWrite(path_, avErrorText(rc));
        for (;;) {
            const int rc = avcodec_receive_packet(encoder_.get(), packet_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
            if (rc < 0) return cannotWrite(path_, avErrorText(rc));
            av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            if (const int written = av_interleaved_write_frame(output_, packet_.get()); written < 0)
                return cannotWrite(path_, avErrorText(written));
        }
    }

    fs::path path_;
    AtomicFile staged_;
    AVFormatContext* output_ = nullptr;
    CodecContext encoder_;
    AVStream* stream_ = nullptr;
    AudioFifo fifo_;
    Frame frame_;
    Packet packet_;
    std::int64_t nextPts_ = 0;
    std::optional<Error> failure_;
};

} // namespace

// "take.wav" -> "take.partial.wav", "take.partial-2.wav", ... A name with no room for the mark and
// a number loses the end of its stem, at a character.
fs::path partialPath(const fs::path& target, unsigned number) {
    constexpr std::size_t kNumberRoom = 4; // "-999"
    const fs::path first = target.parent_path() / markedName(target, ".partial", kNumberRoom);
    if (number <= 1) return first;
    return first.parent_path() /
           (first.stem().string() + "-" + std::to_string(number) + first.extension().string());
}

fs::path takePath(const fs::path& first, unsigned take, bool& shortened) {
    shortened = false;
    if (take <= 1) return first;
    const std::string number = '-' + std::to_string(take), firstName = first.filename().string();
    std::string name = markedName(first, number, 0);
    // A stem cut where it ends in the number ("x-2" cut to "x") would give the first take's name.
    for (std::size_t shorter = 1; name == firstName; ++shorter) name = markedName(first, number, 0, shorter);
    shortened = name.size() < firstName.size() + number.size();
    return first.parent_path() / name;
}

Result<std::unique_ptr<AVAudioFile::Writer>> makeAudioFileWriter(const fs::path& path,
                                                                 const AVAudioFileSettings& settings) {
    const double rate = settings.sampleRate;
    if (!(rate >= 1000.0 && rate <= 768000.0) || rate != std::floor(rate))
        return cannotWrite(path, "a sample rate of " + std::to_string(rate) + " Hz is not supported");
    if (settings.channelCount == 0 || settings.channelCount > AudioBufferList::kCapacity)
        return cannotWrite(path, std::to_string(settings.channelCount) + " channels are not supported");
    // As every save: only a regular file is replaced (a device, a pipe or a folder stays what it
    // is), and a link is written through: the file it names is replaced and the link stays.
    auto staged = AtomicFile::create(path);
    if (!staged.ok()) {
        const int code = int(staged.error().code);
        const char* why = code == EISDIR   ? "it is a folder"
                          : code == EINVAL ? "it is not a regular file"
                                           : std::strerror(code);
        if (staged.error().description.ends_with(kTemporaryNameRefusal)) why = kTemporaryNameRefusal;
        return cannotWrite(path, why);
    }
    const fs::path target = staged->target();
    if (settings.fileType == AudioFileType::m4a)
        return M4AWriter::make(target, std::move(staged.value()), settings);
    return WavWriter::make(target, std::move(staged.value()), settings);
}

} // namespace plat::engine_detail
