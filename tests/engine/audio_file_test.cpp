// Audio files: what is written reads back, hostile files fail with their name or read what they
// hold within the bound, a written file appears only complete, and a WAV take is readable beside it
// while it is written.
#include "ConsoleCapture.h"
#include "EngineTestSupport.h"
#include "HeldToFileModes.h"
#include "HostileClips.h"
#include "WavFrames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>

namespace {

TEST(AudioFile, WrittenFilesReadBackWithTheirLengthAndSound) {
    struct Case {
        const char* name;
        plat::AudioFileType type;
        std::uint32_t channels;
        float noise;
        double tolerance; // error power over signal power
    } cases[] = {
        {"float WAV is exact", plat::AudioFileType::wav, 2, 0.2f, 0.0},
        {"mono WAV is exact", plat::AudioFileType::wav, 1, 0.2f, 0.0},
        // AAC is lossy (and cuts the highs): the priming and padding frames must be gone and the
        // sound in its place.
        {"m4a keeps length and sound", plat::AudioFileType::m4a, 2, 0.02f, 0.01},
    };
    ScratchFolder scratch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint32_t frames = 48000 + 123;
        const auto file = writeClip(scratch.path() / "clip", c.type, c.channels, frames, 48000, c.noise);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->processingFormat(), plat::AVAudioFormat(48000, c.channels));
        ASSERT_EQ(file->length(), frames);
        const auto written = clipSamples(c.channels, frames, c.noise);
        double error = 0, signal = 0;
        for (std::uint32_t ch = 0; ch < c.channels; ++ch)
            for (std::uint32_t i = 0; i < frames; ++i) {
                error += std::pow(file->samples()->channels[ch][i] - written[ch][i], 2);
                signal += std::pow(written[ch][i], 2);
            }
        EXPECT_LE(error / signal, c.tolerance);
    }
    // A take closed before its first block: the library's own header for it tells 8 bytes too few.
    const auto empty = scratch.path() / "empty.wav";
    ASSERT_TRUE(plat::AVAudioFile::forWriting(plat::URL::fileURL(empty), {plat::AudioFileType::wav, 48000, 2})
                    .value()
                    ->close());
    std::uint32_t riffSize = 0;
    std::ifstream(empty, std::ios::binary).seekg(4).read(reinterpret_cast<char*>(&riffSize), 4);
    EXPECT_EQ(riffSize + 8, std::filesystem::file_size(empty)) << "an empty take's header";
}

TEST(AudioFile, HostileFilesFailWithTheirNameOrReadWhatTheyHold) {
    ScratchFolder scratch;
    constexpr long corrupt = plat::kFileReadCorruptFileError, tooLarge = plat::kFileReadTooLargeError;
    struct Case {
        const char* name;
        // None: nothing is written; "|": a pipe is made; "@": a link to itself.
        std::optional<std::string> bytes;
        long code; // 0: the file reads as stereo of `frames`
        plat::AVAudioFramePosition frames = 0;
        const char* reason = ""; // in the error
    } cases[] = {
        {"missing.m4a", {}, plat::kFileReadNoSuchFileError},
        // Said not to exist.
        {"loop.m4a", "@", corrupt, 0, ": Too many levels of symbolic links."},
        // Read until a writer came and went: the thread waited for good.
        {"pipe.m4a", "|", corrupt},
        {"empty.wav", "", corrupt},
        // Cut off in its last frame: the damaged packet cost the whole clip.
        {"cut short.wav", wavSilence(2, 48000, 1000).substr(0, 4041), 0, 999},
        // A rate no output is converted from: it would be scheduled, and never heard.
        {"100 Hz.wav", wavSilence(2, 100, 50), corrupt},
        {"2 MHz.wav", wavSilence(2, 2000000, 50), corrupt},
        // More channels than a buffer list holds, written past the converter's outputs.
        {"nine channels.wav", wavSilence(9, 48000, 100), corrupt},
        // Two streams end to end: the converter made for stereo was fed mono, and the length
        // guessed from the bit rate cut the end off.
        {"stereo then mono.aac", adtsSilence(2, 3, 10) + adtsSilence(1, 3, 10), 0, 20 * 1024},
        // Played at the first rate.
        {"48 then 22.05 kHz.aac", adtsSilence(2, 3, 10) + adtsSilence(2, 7, 10), corrupt},
        // Block numbers that jump by 60 with no block missing: the time stamps jump, no sound was
        // lost, so no silence is added.
        {"numbers jump.flac", flacSilence(2, 48000, 4096, 8, 0, 4, 60), 0, 8 * 4096},
        // 46 minutes of 8 channels declared (4 GiB): refused before anything is decoded.
        {"declares 4 GiB.flac", flacSilence(8, 48000, 4096, 1, 1 << 27), tooLarge},
        // Declarations lie: one block declared, 65 of 2 MiB held.
        {"holds 130 MiB.flac", flacSilence(8, 48000, 65535, 65, 65535), tooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = scratch.path() / c.name;
        if (c.bytes == "|")
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        else if (c.bytes == "@")
            fs::create_symlink(path.filename(), path);
        else if (c.bytes)
            writeText(path, *c.bytes);
        auto reading = std::async(std::launch::async,
                                  [&] { return plat::AVAudioFile::forReading(plat::URL::fileURL(path)); });
        if (reading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << "still reading";
            ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK)); // a writer that leaves ends it
        }
        const auto file = reading.get();
        const std::string why = file.ok() ? "" : file.error().description;
        ASSERT_EQ(file.ok() ? 0 : file.error().code, c.code) << why;
        EXPECT_EQ(why.find(path.string()) != std::string::npos, c.code != 0) << "a failure names the file";
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        if (file.ok()) {
            EXPECT_EQ(file.value()->processingFormat(), plat::AVAudioFormat(48000, 2));
            EXPECT_EQ(file.value()->length(), c.frames);
        }
    }
}

// Damaged AAC packets in the middle of a clip and at its end: each costs its own sound, which
// becomes silence of its length, and the sound after it stays in place.
TEST(AudioFile, DamagedAacPacketsBecomeSilenceOfTheirLength) {
    ScratchFolder scratch;
    writeClip(scratch.path() / "clip.m4a", plat::AudioFileType::m4a, 2, 96000);
    std::string m4a;
    {
        std::ifstream in(scratch.path() / "clip.m4a", std::ios::binary);
        m4a.assign(std::istreambuf_iterator<char>(in), {});
    }
    const auto packets = m4aPackets(m4a);
    ASSERT_GT(packets.size(), 90u);
    auto read = [&](const std::string& name, const std::function<std::string(std::size_t)>& packet) {
        std::string adts;
        for (std::size_t i = 0; i < packets.size(); ++i) adts += adtsFrame(2, 3, packet(i));
        writeText(scratch.path() / name, adts);
        return plat::AVAudioFile::forReading(plat::URL::fileURL(scratch.path() / name));
    };
    const auto intact = read("intact.aac", [&](std::size_t i) { return packets[i]; });
    ASSERT_TRUE(intact.ok());
    const auto& whole = intact.value()->samples()->channels;
    struct Case {
        const char* name;
        std::size_t from, to; // packets damaged
        std::function<std::string(const std::string&)> damage;
    } cases[] = {
        {"a fifth of the packets filled with ones", 20, 40,
         [](const std::string& p) { return std::string(p.size(), '\xFF'); }},
        {"packets cut to two bytes", 30, 36, [](const std::string& p) { return p.substr(0, 2); }},
        {"the last packets filled with ones", packets.size() - 5, packets.size(),
         [](const std::string& p) { return std::string(p.size(), '\xFF'); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto damaged = read(std::string(c.name) + ".aac", [&](std::size_t i) {
            return i >= c.from && i < c.to ? c.damage(packets[i]) : packets[i];
        });
        ASSERT_TRUE(damaged.ok()) << damaged.error().description;
        const auto& kept = damaged.value()->samples()->channels;
        EXPECT_NEAR(double(kept[0].size()), double(whole[0].size()), 1024);
        // Two packets after the damage the decoder has recovered: the sound is the intact sound.
        const std::size_t after = (c.to + 2) * 1024, end = std::min(kept[0].size(), whole[0].size());
        for (std::uint32_t ch = 0; ch < 2; ++ch)
            for (std::size_t i = after; i < end; ++i)
                ASSERT_NEAR(kept[ch][i], whole[ch][i], 1e-4) << "frame " << i;
        // Where the damaged packets were there is silence, not sound from later on.
        double energy = 0;
        for (std::size_t i = (c.from + 2) * 1024; i < std::min(c.to * 1024, kept[0].size()); ++i)
            energy += double(kept[0][i]) * kept[0][i];
        EXPECT_LT(energy, 1e-6);
    }
}

std::string contents(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Frames the file's header declares (its data chunk's size, float stereo); -1 without one. Some
// readers trust it alone, so it must not say "empty" while frames follow.
long declaredFrames(const fs::path& path) {
    const std::string bytes = contents(path);
    const auto data = bytes.find("data", 12);
    if (data == std::string::npos || data + 8 > bytes.size()) return -1;
    std::uint32_t size = 0;
    std::memcpy(&size, bytes.data() + data + 4, 4);
    return long(size / 8);
}

// A take being written is a visible file beside its target whose header readers can trust: current
// after the first block and then after each second of sound, so a process killed midway leaves all
// but the last second. Its name never replaces an earlier one.
TEST(AudioFile, AWavTakeIsReadableUnderAVisibleNameWhileItIsWritten) {
    ScratchFolder scratch;
    const fs::path target = scratch.path() / "take.wav", partial = scratch.path() / "take.partial.wav";
    writeText(partial, "an earlier take, cut off");
    plat::AVAudioFileSettings settings;
    settings.sampleRate = 48000;
    auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(target), settings);
    ASSERT_TRUE(file.ok());
    const fs::path visible = scratch.path() / "take.partial-2.wav";
    auto buffer = plat::AVAudioPCMBuffer::make(file.value()->processingFormat(), 48000);
    const struct {
        const char* fault;
        plat::AUAudioFrameCount write;
        long readable; // declared by the header, and what a reader finds
    } steps[] = {
        {"the header says empty until the first second", 1000, 1000},
        {"the header is not rewritten a second later", 48000, 49000},
        {"the header is rewritten on every block", 100, 49000},
    };
    for (const auto& step : steps) {
        buffer->setFrameLength(step.write);
        ASSERT_TRUE(file.value()->write(*buffer).ok());
        EXPECT_EQ(declaredFrames(visible), step.readable) << step.fault;
        EXPECT_EQ(wavFrames(visible), step.readable) << step.fault;
    }
    EXPECT_EQ(contents(partial), "an earlier take, cut off");
    EXPECT_FALSE(fs::exists(target));
    ASSERT_TRUE(file.value()->close().ok());
    EXPECT_EQ(wavFrames(target), 49100);
    EXPECT_FALSE(fs::exists(visible));
}

// A take whose name leaves no room for ".partial" is still written under a visible name (mode 0644,
// no leading dot: nothing the cleanup of stale temporaries matches), cut short at a character and
// numbered when another take has it; a line says where it goes. Each is put in place on close.
TEST(AudioFile, ATakeWithANameNearTheLimitIsWrittenUnderAShortenedVisibleName) {
    ScratchFolder scratch;
    std::string accents;
    for (int i = 0; i < 125; ++i) accents += "\u00e9";
    const std::string cut(239, 't');
    std::string cutAccents;
    for (int i = 0; i < 119; ++i) cutAccents += "\u00e9";
    const struct {
        const char* fault;
        std::string name, partial;
        unsigned takenUpTo = 0; // the numbered partials of `cut` made first
    } cases[] = {
        {"a 248-byte name written hidden", std::string(244, 't') + ".wav", cut + ".partial.wav"},
        {"a 255-byte name written hidden", std::string(251, 't') + ".wav", cut + ".partial-2.wav"},
        {"a name cut inside a character", accents + "x.wav", cutAccents + ".partial.wav"},
        {"no room left for the number of a name taken", std::string(250, 't') + ".wav",
         cut + ".partial-3.wav"},
        {"a name of bytes that begin no character cut to nothing (written hidden)",
         std::string(248, '\x80') + ".wav", std::string(239, '\x80') + ".partial.wav"},
        {"the last number refused though free", std::string(249, 't') + ".wav", cut + ".partial-999.wav",
         998},
    };
    ConsoleCapture console;
    plat::AVAudioFileSettings settings;
    std::vector<std::shared_ptr<plat::AVAudioFile>> takes;
    for (const auto& c : cases) {
        for (unsigned n = 2; n <= c.takenUpTo; ++n)
            if (const auto taken = scratch.path() / (cut + ".partial-" + std::to_string(n) + ".wav");
                !fs::exists(taken))
                writeText(taken, "");
        auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(scratch.path() / c.name), settings);
        ASSERT_TRUE(file.ok()) << c.fault;
        auto buffer = plat::AVAudioPCMBuffer::make(file.value()->processingFormat(), 1000);
        buffer->setFrameLength(1000);
        ASSERT_TRUE(file.value()->write(*buffer).ok());
        takes.push_back(file.value());
        const fs::path partial = scratch.path() / c.partial;
        struct stat st {};
        EXPECT_TRUE(::stat(partial.c_str(), &st) == 0 && (st.st_mode & 0777) == 0644) << c.fault;
        EXPECT_EQ(wavFrames(partial), 1000) << c.fault;
        EXPECT_NE(console.text().find("is written as '" + plat::shownText(partial.string()) + "'"),
                  std::string::npos)
            << c.fault << "\n"
            << console.text();
    }
    for (const auto& entry : fs::directory_iterator(scratch.path()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "a take written hidden: " << entry.path();
    for (std::size_t i = 0; i < takes.size(); ++i) {
        ASSERT_TRUE(takes[i]->close().ok());
        EXPECT_EQ(wavFrames(scratch.path() / cases[i].name), 1000) << cases[i].fault;
        EXPECT_FALSE(fs::exists(scratch.path() / cases[i].partial)) << cases[i].fault;
    }
    EXPECT_EQ(console.count("is written as"), std::size(cases)) << "a line for a name that fits";
}

// A write that fails (here past a file-size limit, as on a full disk) keeps what was written as a
// WAV file whose header covers all of it, and the error says where only while the file is there; so
// does a take that cannot be put in place (its folder made read-only, or another file made under its
// name, which stays as it is).
TEST(AudioFile, ATakeThatFailsSaysWhereItIsKeptOnlyWhileItIsThere) {
    const struct {
        const char* fault;
        std::function<void(const fs::path& folder, const fs::path& partial)> meanwhile;
        bool kept;
        bool putInPlace = false;   // fails as it is put in place, not as it is written
        bool olderPartial = false; // an earlier take's partial has the first name
    } cases[] = {
        {"the header left short of what was written", [](const fs::path&, const fs::path&) {}, true},
        {"kept in a file that was removed",
         [](const fs::path&, const fs::path& partial) { fs::remove(partial); }, false},
        {"kept in a folder that was renamed",
         [](const fs::path& folder, const fs::path&) { fs::rename(folder, folder.string() + "-moved"); },
         false},
        {"a take not put in place said to be gone, its closed descriptor checked",
         [](const fs::path& folder, const fs::path&) {
             fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
         },
         true, true},
        {"another file made under the partial's name put in place",
         [](const fs::path&, const fs::path& partial) {
             fs::remove(partial);
             writeText(partial, "another file");
         },
         false, true},
        {"the take told by its partial's first name, not by the file made",
         [](const fs::path&, const fs::path&) {}, true, false, true},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        const fs::path folder = scratch.path() / "takes", target = folder / "take.wav",
                       partial = folder / (c.olderPartial ? "take.partial-2.wav" : "take.partial.wav");
        fs::create_directory(folder);
        if (c.olderPartial) writeText(folder / "take.partial.wav", "an earlier take, cut off");
        plat::AVAudioFileSettings settings;
        auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(target), settings).value();
        auto buffer = plat::AVAudioPCMBuffer::make(file->processingFormat(), 4000);
        buffer->setFrameLength(4000);
        ASSERT_TRUE(file->write(*buffer).ok());
        c.meanwhile(folder, partial);
        std::string error;
        if (c.putInPlace) {
            ASSERT_TRUE(file->write(*buffer).ok()); // beyond what the header says so far
            HeldToFileModes asOwner;
            if (auto closed = file->close(); !closed.ok()) error = closed.error().description;
        } else {
            FileSizeLimit limit(64 * 1024);
            for (int i = 0; i < 10 && error.empty(); ++i)
                if (auto written = file->write(*buffer); !written.ok()) error = written.error().description;
        }
        std::error_code ec;
        fs::permissions(folder, fs::perms::owner_all, ec);
        ASSERT_FALSE(error.empty()) << c.fault;
        EXPECT_EQ(error.find("What was written is kept in") != std::string::npos, c.kept)
            << c.fault << ": " << error;
        EXPECT_NE(error.find("'" + partial.string() + "'"), std::string::npos) << c.fault << ": " << error;
        EXPECT_NE(error.find(c.kept ? "';" : "', which is no longer there;"), std::string::npos) << error;
        if (c.kept) {
            EXPECT_GT(wavFrames(partial), 4000) << c.fault;
            EXPECT_EQ(wavFrames(partial), framesHeld(partial)) << c.fault;
        } else if (fs::exists(partial)) {
            EXPECT_EQ(contents(partial), "another file") << c.fault;
        }
        EXPECT_FALSE(fs::exists(target)) << c.fault;
    }
}

// Written through a link, which stays.
TEST(AudioFile, AWrittenFileReplacesTheOldOneOnlyWhenClosed) {
    ScratchFolder scratch;
    const fs::path target = scratch.path() / "clip.wav", link = scratch.path() / "link.wav";
    writeText(target, "old");
    fs::create_symlink(target, link);
    plat::AVAudioFileSettings settings;
    auto file = plat::AVAudioFile::forWriting(plat::URL::fileURL(link), settings);
    ASSERT_TRUE(file.ok());
    auto buffer = plat::AVAudioPCMBuffer::make(file.value()->processingFormat(), 1000);
    buffer->setFrameLength(1000);
    ASSERT_TRUE(file.value()->write(*buffer).ok());
    EXPECT_EQ(fs::file_size(target), 3u); // still "old"
    ASSERT_TRUE(file.value()->close().ok());
    EXPECT_EQ(plat::AVAudioFile::forReading(plat::URL::fileURL(target)).value()->length(), 1000);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 2);
}

// A file's name is kept in the errors about it as it is: a line that prints one escapes it, once.
TEST(AudioFile, ErrorsKeepAFileNameAsItIs) {
    ScratchFolder scratch;
    const fs::path hostile = scratch.path() / "clip\x1b[2J\nforged.wav";
    plat::AVAudioFileSettings settings;
    const std::string errors[] = {
        plat::AVAudioFile::forReading(plat::URL::fileURL(hostile)).error().description,
        plat::AVAudioFile::forWriting(plat::URL::fileURL(hostile / "take.wav"), settings).error().description,
    };
    for (const auto& error : errors) EXPECT_NE(error.find(hostile.string()), std::string::npos) << error;
}

} // namespace
