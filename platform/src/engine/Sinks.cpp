// Where the engine's output goes: an ALSA device, nowhere (paced like a device), or a WAV file
// (paced the same way). Each runs the render thread itself: render a period, hand it over, repeat.
#include "AudioCodecs.h"
#include "EngineCore.h"

#include "plat/console.h"
#include "plat/files.h"
#include "plat/url.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace plat::engine_detail {

std::atomic<bool (*)(const WavWriterQueue&)> wavWriterStalled{nullptr};

namespace {

constexpr AUAudioFrameCount kPeriod = 512;

// Called off the render road (after a cycle was rendered), so the whole line goes out at once.
void reportFailure(const std::string& why) {
    Console::shared().print("AVAudioEngine::ERROR: The audio output stopped: " + shownMessage(why) + "\n");
}

// Whether a recording of this process could not be written whole; the program's exit status says so.
std::atomic<bool> recordingFailed{false};

// A process that ends at once on one of a sink's own threads stops the sink from that thread.
void joinUnlessOwn(std::thread& thread) {
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

class ThreadedSink;

// Outputs still running when the process ends (an application ends with its engine running) are
// stopped before anything else is torn down: their render threads stop pulling the graph, and a
// WAV file is put in place as when its engine stops.
class RunningSinks {
public:
    static RunningSinks& shared() {
        static auto* sinks = new RunningSinks; // used at exit
        return *sinks;
    }
    void add(ThreadedSink* sink) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (!atExit_) atExit_ = std::atexit([] { shared().stopAll(); }) == 0;
        sinks_.insert(sink);
    }
    // Waits for a stop at exit that may be on its way.
    void remove(ThreadedSink* sink) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        sinks_.erase(sink);
    }
    void stopAll();
    // Held while an output starts, so a stop at exit finds it opened whole or not at all.
    std::unique_lock<std::recursive_mutex> hold() { return std::unique_lock(mutex_); }

private:
    std::recursive_mutex mutex_;
    std::set<ThreadedSink*> sinks_;
    bool atExit_ = false;
};

class ThreadedSink : public Sink {
public:
    explicit ThreadedSink(AVAudioFormat format) : format_(format) {}
    ~ThreadedSink() override {
        RunningSinks::shared().remove(this);
        running_ = false;
        joinUnlessOwn(thread_);
    }

    Result<void> start(EngineCore& core) override {
        // Among the running outputs before its first thread starts: a process that ends at once
        // (a thread that cannot start among them) still finishes the file it opened.
        const auto whole = RunningSinks::shared().hold();
        RunningSinks::shared().add(this);
        if (auto opened = open(); !opened.ok()) {
            RunningSinks::shared().remove(this);
            return opened;
        }
        buffer_ = AVAudioPCMBuffer::make(format_, period_);
        buffer_->setFrameLength(period_);
        running_ = true;
        thread_ = startThread([this, &core] { loop(core); });
        return {};
    }

    void stop() override {
        RunningSinks::shared().remove(this);
        running_ = false;
        joinUnlessOwn(thread_);
        close();
    }

protected:
    // Opens the output; may shorten the period to what a device takes.
    virtual Result<void> open() = 0;
    // Render thread. False when the output failed.
    virtual bool deliver(const AVAudioPCMBuffer& buffer) = 0;
    virtual void close() = 0;
    // Sinks that do not block on a device wait out each period themselves.
    virtual bool paced() const = 0;

    AVAudioFormat format_;
    AUAudioFrameCount period_ = kPeriod;

private:
    void loop(EngineCore& core) {
        pthread_setname_np(pthread_self(), "render"); // for profilers and bench/app_cpu.sh
        using clock = std::chrono::steady_clock;
        const auto period = std::chrono::duration_cast<clock::duration>(
            std::chrono::duration<double>(double(period_) / format_.sampleRate()));
        auto next = clock::now();
        while (running_.load()) {
            core.renderCycle(period_, *buffer_->audioBufferList());
            if (!deliver(*buffer_)) {
                failed = true;
                return;
            }
            if (!paced()) continue;
            next += period;
            const auto now = clock::now();
            // After a stall (a suspended machine, a stopped debugger) the pace starts afresh rather
            // than racing to catch up.
            if (now - next > 4 * period)
                next = now;
            else
                std::this_thread::sleep_until(next);
        }
    }

    std::unique_ptr<AVAudioPCMBuffer> buffer_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

void RunningSinks::stopAll() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (ThreadedSink* sink : std::set(sinks_)) sink->stop();
}

class NullSink final : public ThreadedSink {
public:
    using ThreadedSink::ThreadedSink;

private:
    Result<void> open() override { return {}; }
    bool deliver(const AVAudioPCMBuffer&) override { return true; }
    void close() override {}
    bool paced() const override { return true; }
};

// The render thread never touches the file: it copies each period into a ring of buffers made
// before the take starts, and a writer thread of the sink's own writes them out (and keeps the
// file's header current, see the WAV writer). The ring holds two seconds; should the disk stall
// longer, the render thread waits for room, as a device that is not read waits its writer.
class WavSink final : public ThreadedSink {
public:
    WavSink(AVAudioFormat format, std::filesystem::path path)
        : ThreadedSink(format), path_(std::move(path)) {}
    ~WavSink() override { stop(); }

private:
    Result<void> open() override {
        AVAudioFileSettings settings;
        settings.fileType = AudioFileType::wav;
        settings.sampleRate = format_.sampleRate();
        settings.channelCount = format_.channelCount();
        auto file = AVAudioFile::forWriting(URL::fileURL(path_), settings);
        if (!file.ok()) {
            recordingFailed = true; // a take that cannot start fails the run as one that stops midway
            return file.error();
        }
        file_ = std::move(file.value());
        const auto slots =
            std::max<std::size_t>(8, std::size_t(std::ceil(2.0 * format_.sampleRate() / double(period_))));
        ring_.clear();
        for (std::size_t i = 0; i < slots; ++i) ring_.push_back(AVAudioPCMBuffer::make(format_, period_));
        head_ = tail_ = 0;
        writerFailed_ = stopWriter_ = false;
        writer_ = startThread([this] { writeOut(); });
        return {};
    }

    // Render thread.
    bool deliver(const AVAudioPCMBuffer& buffer) override {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        while (tail - head_.load(std::memory_order_acquire) == ring_.size()) {
            if (writerFailed_.load()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (writerFailed_.load()) return false;
        AVAudioPCMBuffer& slot = *ring_[tail % ring_.size()];
        for (std::uint32_t c = 0; c < format_.channelCount(); ++c)
            std::memcpy(slot.channel(c), buffer.channel(c), buffer.frameLength() * sizeof(float));
        slot.setFrameLength(buffer.frameLength());
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Writer thread: until told to stop, and then until the ring is empty.
    void writeOut() {
        pthread_setname_np(pthread_self(), "wav writer");
        for (std::size_t head = head_.load();;) {
            // The stop is read before the tail: a period handed over just before the stop is then
            // seen, where the other order could end the take without it.
            const bool stopping = stopWriter_.load();
            const std::size_t tail = tail_.load(std::memory_order_acquire);
            if (head == tail) {
                if (stopping) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            if (auto stalled = wavWriterStalled.load();
                stalled && stalled(WavWriterQueue{tail - head, ring_.size(), stopping})) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            auto written = file_->write(*ring_[head % ring_.size()]);
            if (!written.ok()) {
                // The writer has set aside what it could; the take ends here.
                recordingFailed = true;
                reportFailure(written.error().description);
                writerFailed_ = true;
                return;
            }
            head_.store(++head, std::memory_order_release);
        }
    }

    void close() override {
        if (writer_.joinable()) {
            stopWriter_ = true;
            joinUnlessOwn(writer_);
        }
        if (!file_) return;
        if (writerFailed_) { // already reported, with where the take was kept
            file_.reset();
            return;
        }
        if (auto closed = file_->close(); !closed.ok()) {
            recordingFailed = true;
            Console::shared().writeLine("AVAudioEngine::ERROR: " + shownMessage(closed.error().description));
        }
        file_.reset();
    }
    bool paced() const override { return true; }

    std::filesystem::path path_;
    std::shared_ptr<AVAudioFile> file_;
    std::vector<std::unique_ptr<AVAudioPCMBuffer>> ring_;
    std::atomic<std::size_t> head_{0}, tail_{0}; // periods written out, periods handed over
    std::atomic<bool> writerFailed_{false}, stopWriter_{false};
    std::thread writer_;
};

// ALSA reports its own errors on standard error; ours carry the same reason to the caller instead.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

class AlsaSink final : public ThreadedSink {
public:
    AlsaSink(AVAudioFormat format, std::string device) : ThreadedSink(format), device_(std::move(device)) {}
    ~AlsaSink() override { close(); }

private:
    Error deviceError(const std::string& what, int rc) const {
        return Error{kPOSIXErrorDomain, -rc,
                     "The audio device '" + cutInMiddle(device_) + "' " + what + ": " + snd_strerror(rc) +
                         "."};
    }

    Result<void> open() override {
        static std::once_flag quiet;
        std::call_once(quiet, [] { snd_lib_error_set_handler(&quietAlsa); });
        // A device another program holds would keep a blocking open waiting until it lets go: the
        // open does not wait (a busy device fails at once), the writes do.
        if (const int rc = snd_pcm_open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
            rc < 0) {
            pcm_ = nullptr;
            return deviceError("cannot be opened", rc);
        }
        if (const int rc = snd_pcm_nonblock(pcm_, 0); rc < 0) {
            close();
            return deviceError("cannot be opened", rc);
        }
        auto configured = configure();
        if (!configured.ok()) close();
        return configured;
    }

    Result<void> configure() {
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        snd_pcm_hw_params_any(pcm_, hw);
        if (const int rc = snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED); rc < 0)
            return deviceError("does not take interleaved samples", rc);
        sampleFormat_ = SND_PCM_FORMAT_UNKNOWN;
        for (const auto f : {SND_PCM_FORMAT_FLOAT_LE, SND_PCM_FORMAT_S32_LE, SND_PCM_FORMAT_S16_LE})
            if (snd_pcm_hw_params_test_format(pcm_, hw, f) == 0) {
                sampleFormat_ = f;
                break;
            }
        if (sampleFormat_ == SND_PCM_FORMAT_UNKNOWN)
            return deviceError("takes neither float, 32-bit nor 16-bit samples", -EINVAL);
        snd_pcm_hw_params_set_format(pcm_, hw, sampleFormat_);
        if (const int rc = snd_pcm_hw_params_set_channels(pcm_, hw, format_.channelCount()); rc < 0)
            return deviceError("does not take " + std::to_string(format_.channelCount()) + " channels", rc);
        const auto rate = unsigned(format_.sampleRate());
        if (const int rc = snd_pcm_hw_params_set_rate(pcm_, hw, rate, 0); rc < 0)
            return deviceError("does not run at " + std::to_string(rate) + " Hz", rc);
        snd_pcm_uframes_t period = kPeriod;
        snd_pcm_hw_params_set_period_size_near(pcm_, hw, &period, nullptr);
        snd_pcm_uframes_t size = period * 4;
        snd_pcm_hw_params_set_buffer_size_near(pcm_, hw, &size);
        if (const int rc = snd_pcm_hw_params(pcm_, hw); rc < 0) return deviceError("cannot be set up", rc);
        snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
        period_ = AUAudioFrameCount(
            std::clamp<snd_pcm_uframes_t>(period, 32, AVAudioEngine::kMaximumFramesToRender));
        frameBytes_ = std::size_t(snd_pcm_format_physical_width(sampleFormat_) / 8) * format_.channelCount();
        interleaved_.assign(std::size_t(period_) * frameBytes_, 0);
        if (const int rc = snd_pcm_prepare(pcm_); rc < 0) return deviceError("cannot be started", rc);
        return {};
    }

    template <class T, class Convert>
    void interleave(const AVAudioPCMBuffer& buffer, Convert convert) {
        T* out = reinterpret_cast<T*>(interleaved_.data());
        const std::uint32_t channels = format_.channelCount();
        for (std::uint32_t c = 0; c < channels; ++c) {
            const float* in = buffer.channel(c);
            for (AUAudioFrameCount i = 0; i < period_; ++i)
                out[std::size_t(i) * channels + c] = convert(in[i]);
        }
    }

    bool deliver(const AVAudioPCMBuffer& buffer) override {
        auto clip = [](float x) { return x > 1.0f ? 1.0f : (x < -1.0f ? -1.0f : x); };
        if (sampleFormat_ == SND_PCM_FORMAT_FLOAT_LE)
            interleave<float>(buffer, [](float x) { return x; });
        else if (sampleFormat_ == SND_PCM_FORMAT_S32_LE)
            interleave<std::int32_t>(
                buffer, [&](float x) { return std::int32_t(std::lrint(double(clip(x)) * 2147483647.0)); });
        else
            interleave<std::int16_t>(buffer,
                                     [&](float x) { return std::int16_t(std::lrint(clip(x) * 32767.0f)); });
        const std::uint8_t* data = interleaved_.data();
        snd_pcm_uframes_t left = period_;
        while (left > 0) {
            snd_pcm_sframes_t written = snd_pcm_writei(pcm_, data, left);
            if (written == -EAGAIN) continue;
            if (written < 0) {
                // An underrun or a suspend: recover and go on; anything else ends the output.
                if (const int rc = snd_pcm_recover(pcm_, int(written), 1); rc < 0) {
                    reportFailure(deviceError("failed", rc).description);
                    return false;
                }
                continue;
            }
            data += std::size_t(written) * frameBytes_;
            left -= snd_pcm_uframes_t(written);
        }
        return true;
    }

    void close() override {
        if (!pcm_) return;
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }
    bool paced() const override { return false; }

    std::string device_;
    snd_pcm_t* pcm_ = nullptr;
    snd_pcm_format_t sampleFormat_ = SND_PCM_FORMAT_UNKNOWN;
    std::size_t frameBytes_ = 0;
    std::vector<std::uint8_t> interleaved_;
};

} // namespace

Result<std::unique_ptr<Sink>> makeSink(const AudioOutputConfiguration& configuration, unsigned take) {
    switch (configuration.kind) {
    case AudioOutputConfiguration::Kind::null:
        return std::unique_ptr<Sink>(std::make_unique<NullSink>(configuration.format));
    case AudioOutputConfiguration::Kind::wav: {
        // Takes after the first get numbered files beside it, so no take replaces another.
        const std::filesystem::path& first = configuration.file;
        bool shortened = false;
        std::filesystem::path file = takePath(first, take, shortened);
        if (shortened)
            Console::shared().writeLine("AVAudioEngine: Take " + std::to_string(take) + " of '" +
                                        shownText(first.string()) + "' is written to '" +
                                        shownText(file.string()) +
                                        "': its name is too long to take its number.");
        return std::unique_ptr<Sink>(std::make_unique<WavSink>(configuration.format, std::move(file)));
    }
    case AudioOutputConfiguration::Kind::alsa:
        break;
    }
    return std::unique_ptr<Sink>(std::make_unique<AlsaSink>(configuration.format, configuration.device));
}

} // namespace plat::engine_detail

namespace plat {

void engine_detail::outputCouldNotStart(const Error& error) {
    if (error.domain == kCocoaErrorDomain && error.code == kFileWriteUnknownError) recordingFailed = true;
}

bool AVAudioEngine::finishOutputs() {
    engine_detail::RunningSinks::shared().stopAll();
    return !engine_detail::recordingFailed;
}

Result<AudioOutputConfiguration> AudioOutputConfiguration::parse(std::string_view text) {
    AudioOutputConfiguration configuration;
    const auto colon = text.find(':');
    const std::string_view kind = text.substr(0, colon);
    const std::string_view argument =
        colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    if (kind == "alsa") {
        configuration.kind = Kind::alsa;
        if (colon != std::string_view::npos) configuration.device = std::string(argument);
        if (!configuration.device.empty()) return configuration;
    } else if (kind == "null" && colon == std::string_view::npos) {
        configuration.kind = Kind::null;
        return configuration;
    }
    std::string why = "it takes alsa, alsa:<device>, null or wav:<file>";
    if (kind == "wav" && !argument.empty() && argument.back() != '/') { // a file, not a folder
        configuration.kind = Kind::wav;
        configuration.file = std::filesystem::path(argument);
        // A name no folder takes would fail the take only as it is put in place.
        if (configuration.file.filename().string().size() <= NAME_MAX) return configuration;
        why = "no file takes a name longer than " + std::to_string(NAME_MAX) + " bytes";
    }
    // A recording named without its file is a file that cannot be written.
    const bool recording = kind == "wav";
    return Error{recording ? kCocoaErrorDomain : kOSStatusErrorDomain,
                 recording ? kFileWriteUnknownError : kAudioUnitErr_InvalidPropertyValue,
                 std::string(kEnvironmentVariable) + " is '" + cutInMiddle(text) + "'; " + why + "."};
}

bool AudioOutputConfiguration::wouldWrite(const std::filesystem::path& candidate) const {
    if (kind != Kind::wav) return false;
    const auto named = replaceableFile(candidate);
    if (!named.ok()) return false;
    // A take's or a partial's number is one the name carries after a '-' ("take-2.partial-3.wav");
    // each is tried by making the names it gives, as the takes are named.
    std::set<unsigned> numbers{1};
    const auto numbersIn = [&](const std::string& name) {
        for (auto dash = name.find('-'); dash != std::string::npos; dash = name.find('-', dash + 1))
            if (unsigned n = 0;
                std::from_chars(name.data() + dash + 1, name.data() + name.size(), n).ec == std::errc())
                numbers.insert(n);
    };
    numbersIn(candidate.filename().string());
    numbersIn(named->filename().string());
    // A partial is made anew, never through a link there, so only the screenshot's own names can
    // carry its number; a numbered take's name may be a link already, which that take writes through.
    const std::set<unsigned> partials = numbers;
    std::error_code ec;
    const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_symlink(ec)) numbersIn(it->path().filename().string());
    for (const unsigned take : numbers) {
        bool shortened = false;
        // As the sink opens it.
        const auto target =
            replaceableFile(URL::fileURL(engine_detail::takePath(file, take, shortened)).filePath());
        if (!target.ok()) continue;
        if (sameReplaceableFile(*target, candidate)) return true;
        for (const unsigned partial : partials)
            if (partial <= engine_detail::kPartialNumbers &&
                sameReplaceableFile(engine_detail::partialPath(*target, partial), candidate))
                return true;
    }
    return false;
}

Result<AudioOutputConfiguration> AudioOutputConfiguration::fromEnvironment() {
    const char* value = std::getenv(kEnvironmentVariable);
    if (!value || !*value) return AudioOutputConfiguration();
    return parse(value);
}

} // namespace plat
