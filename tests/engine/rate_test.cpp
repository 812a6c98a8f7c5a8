// Clips at other sample rates than the output's: converted where the player joins the mixer (or
// by the player, when its connection runs at the output's rate), so they play at their own pitch
// and length, loop without a seam and complete once per pass; rates that cannot be converted are
// refused.
#include "EngineTestSupport.h"
#include "HostileClips.h"

#include <cmath>
#include <fstream>

namespace {

using plat::AVAudioFormat;

// A float WAV clip of a sine at `hz`, `frames` long at `rate`.
std::shared_ptr<plat::AVAudioFile> sineClip(const fs::path& path, double rate, double hz,
                                            std::uint32_t frames, std::uint32_t channels = 2) {
    const plat::AVAudioFileSettings settings{plat::AudioFileType::wav, rate, channels};
    auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(path), settings).value();
    auto buffer = plat::AVAudioPCMBuffer::make(AVAudioFormat(rate, channels), frames);
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t i = 0; i < frames; ++i)
            buffer->channel(c)[i] = float(0.5 * std::sin(2 * M_PI * hz * i / rate));
    buffer->setFrameLength(frames);
    EXPECT_TRUE(file->write(*buffer) && file->close());
    return plat::AVAudioFile::forReading(plat::URL::fileURL(path)).value();
}

// The frequency of a sine from its rising zero crossings (placed between samples) in [from, to).
double frequency(const std::vector<float>& x, std::size_t from, std::size_t to, double rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double at = double(i - 1) + double(x[i - 1]) / double(x[i - 1] - x[i]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    return crossings < 2 ? 0 : (crossings - 1) / (last - first) * rate;
}

// One past the last frame louder than -40 dB.
std::size_t soundEnd(const std::vector<float>& x) {
    std::size_t end = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > 0.005f) end = i + 1;
    return end;
}

enum class Converter { mixer, player };

// Plays `passes` passes of the file through a 48 kHz offline engine: connected at the file's own
// rate (the mixer converts) or at the output's (the player converts).
struct RatePlay {
    OfflineRig rig;
    std::atomic<int> completed{0};
    RatePlay(const std::shared_ptr<plat::AVAudioFile>& file, Converter converter, int passes = 1) {
        const auto format = converter == Converter::mixer ? file->processingFormat() : rig.format;
        EXPECT_TRUE(rig.engine.connect(rig.player, rig.engine.mainMixerNode(), format).ok());
        EXPECT_TRUE(rig.engine.start().ok());
        for (int i = 0; i < passes; ++i)
            EXPECT_TRUE(rig.player->scheduleFile(file, [this] { ++completed; }).ok());
        rig.player->play();
    }
};

TEST(EngineRates, ClipsAtOtherRatesPlayAtTheirOwnPitchAndLength) {
    CapturedConsole console;
    ScratchFolder scratch;
    struct Case {
        double rate;
        Converter converter;
    } cases[] = {{44100, Converter::mixer},  {8000, Converter::mixer},  {96000, Converter::mixer},
                 {44100, Converter::player}, {8000, Converter::player}, {96000, Converter::player}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(int(c.rate)) + (c.converter == Converter::mixer ? " mixer" : " player"));
        const double hz = 997, seconds = 0.5;
        const auto file = sineClip(scratch.path() / (std::to_string(int(c.rate)) + ".wav"), c.rate, hz,
                                   std::uint32_t(c.rate * seconds));
        RatePlay play(file, c.converter);
        const auto out = play.rig.render(48000);
        for (const auto& channel : out) {
            EXPECT_NEAR(frequency(channel, 2400, 21600, 48000), hz, hz * 0.005);
            // Half a second long, give or take the kernel's ring (a millisecond at 8 kHz).
            EXPECT_NEAR(double(soundEnd(channel)), seconds * 48000, 0.002 * 48000);
        }
        EXPECT_TRUE(waitFor([&] { return play.completed == 1; }));
    }
}

// Passes of a clip that holds whole periods join into one sine: no seam, no frame lost or repeated
// between passes, and each pass completes once.
TEST(EngineRates, PassesOfAConvertedClipJoinWithoutASeamAndEachCompletesOnce) {
    CapturedConsole console;
    ScratchFolder scratch;
    for (Converter converter : {Converter::mixer, Converter::player}) {
        SCOPED_TRACE(converter == Converter::mixer ? "mixer" : "player");
        const auto file = sineClip(scratch.path() / "periods.wav", 44100, 441, 4400); // 44 periods
        RatePlay play(file, converter, 3);
        const auto out = play.rig.render(3 * 4400 * 48000 / 44100 + 2048);
        double worst = 0;
        for (std::size_t i = 200; i < 3 * 4789 - 200; ++i)
            worst =
                std::max(worst, std::fabs(out[0][i] - 0.5 * std::sin(2 * M_PI * 441 * double(i) / 48000)));
        EXPECT_LT(worst, 2e-3);
        EXPECT_TRUE(waitFor([&] { return play.completed == 3; }));
    }
}

// A clip whose first hundredth of a second holds a level of 0.5 and whose rest is silent.
std::shared_ptr<plat::AVAudioFile> markedClip(const fs::path& path, double rate, std::uint32_t frames) {
    const plat::AVAudioFileSettings settings{plat::AudioFileType::wav, rate, 1};
    auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(path), settings).value();
    auto buffer = plat::AVAudioPCMBuffer::make(AVAudioFormat(rate, 1), frames);
    for (std::uint32_t i = 0; i < frames; ++i) buffer->channel(0)[i] = i < rate / 100 ? 0.5f : 0.0f;
    buffer->setFrameLength(frames);
    EXPECT_TRUE(file->write(*buffer) && file->close());
    return plat::AVAudioFile::forReading(plat::URL::fileURL(path)).value();
}

// Files at several rates queued on one player that converts them: each begins where the one before
// ends (to a fraction of a frame, none of them a whole number of output frames long) and is read
// from its own first frame at its own rate, so each marker starts on time and lasts 10 ms. (The rates
// are 32 kHz and above: a run begins at its first frame, which leaves out the half source frame of
// rise before it, a frame and a half of output at 16 kHz.)
TEST(EngineRates, FilesAtDifferentRatesEachStartOnTimeAtTheirOwnRate) {
    CapturedConsole console;
    ScratchFolder scratch;
    struct Case {
        const char* name;
        std::vector<std::pair<double, std::uint32_t>> files; // rate, frames
    } cases[] = {
        {"a file at another rate is not read ahead at the rate before it",
         {{44100, 4411}, {96000, 9601}, {32000, 3203}, {44100, 4411}, {88200, 8821}}},
        {"a file at the player's rate is not read at the rate before it",
         {{44100, 4411}, {48000, 4801}, {96000, 9601}, {48000, 4801}, {32000, 3203}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OfflineRig rig;
        ASSERT_TRUE(rig.engine.connect(rig.player, rig.engine.mainMixerNode(), rig.format).ok());
        ASSERT_TRUE(rig.engine.start().ok());
        std::atomic<int> completed{0};
        std::vector<double> starts;
        double at = 0;
        for (const auto& [rate, frames] : c.files) {
            const auto file =
                markedClip(scratch.path() / (std::to_string(starts.size()) + ".wav"), rate, frames);
            ASSERT_TRUE(rig.player->scheduleFile(file, [&] { ++completed; }).ok());
            starts.push_back(at);
            at += frames * 48000.0 / rate;
        }
        rig.player->play();
        const auto out = rig.render(std::uint32_t(at) + 1024);
        for (std::size_t i = 0; i < starts.size(); ++i) {
            SCOPED_TRACE("file " + std::to_string(i));
            // The marker is where the output crosses half its level.
            std::size_t start = std::size_t(std::max(0.0, starts[i] - 40));
            while (start < out[0].size() && out[0][start] < 0.25f) ++start;
            std::size_t end = start;
            while (end < out[0].size() && out[0][end] >= 0.25f) ++end;
            EXPECT_NEAR(double(start), starts[i], 2.0);
            EXPECT_NEAR(double(end - start), 480.0, 1.0);
        }
        EXPECT_TRUE(waitFor([&] { return completed == int(c.files.size()); }));
    }
}

TEST(EngineRates, RatesThatCannotBeConvertedAreRefusedAndNothingPlays) {
    CapturedConsole console;
    ScratchFolder scratch;
    // Connections: not made at all without a rate, or made silent with the reason, which start()
    // repeats, so an engine player reports nothing playing.
    for (double rate : {0.0, std::nan(""), -44100.0}) {
        OfflineRig rig;
        EXPECT_FALSE(rig.engine.connect(rig.player, rig.engine.mainMixerNode(), AVAudioFormat(rate, 2)).ok());
        EXPECT_EQ(rig.player->outputFormat(0).sampleRate(), 48000.0) << rate; // still unconnected
    }
    for (auto [rate, shown] : {std::pair{500.0, "500 Hz"},
                               {1e7, "10000000 Hz"},
                               {800000.0, "800000 Hz"},
                               {3e38, "3e+38 Hz"},
                               {HUGE_VAL, "inf Hz"}}) {
        SCOPED_TRACE(rate);
        OfflineRig rig;
        const auto connected =
            rig.engine.connect(rig.player, rig.engine.mainMixerNode(), AVAudioFormat(rate, 2));
        ASSERT_FALSE(connected.ok());
        EXPECT_NE(connected.error().description.find("converts rates"), std::string::npos);
        EXPECT_NE(connected.error().description.find(shown), std::string::npos)
            << connected.error().description;
        EXPECT_FALSE(rig.engine.start().ok());
        EXPECT_FALSE(rig.engine.isRunning());
    }
    // Files: a clip at 100 Hz cannot be read to be played, and a file the player cannot convert to
    // its connection's rate (48 kHz down to 2 kHz) is refused: nothing of it plays or completes.
    const fs::path slow = scratch.path() / "slow.wav";
    std::ofstream(slow, std::ios::binary) << wavSilence(2, 100, 50);
    const auto unreadable = plat::AVAudioFile::forReading(plat::URL::fileURL(slow));
    ASSERT_FALSE(unreadable.ok());
    EXPECT_NE(unreadable.error().description.find("100 Hz"), std::string::npos);
    OfflineRig rig;
    ASSERT_TRUE(rig.engine.connect(rig.player, rig.engine.mainMixerNode(), AVAudioFormat(2000, 2)).ok());
    ASSERT_TRUE(rig.engine.start().ok());
    const auto file = sineClip(scratch.path() / "tone.wav", 48000, 997, 4800);
    bool completed = false;
    const auto scheduled = rig.player->scheduleFile(file, [&] { completed = true; });
    ASSERT_FALSE(scheduled.ok());
    EXPECT_NE(scheduled.error().description.find("tone.wav"), std::string::npos);
    rig.player->play();
    const auto out = rig.render(9600);
    EXPECT_EQ(soundEnd(out[0]), 0u);
    rig.player->stop();
    EXPECT_FALSE(completed);
}

} // namespace
