// The application program itself, headless: installed under a prefix, it finds the plug-in through
// its record, embeds it and plays through it (into a WAV file); a bundle without the plug-in plays
// its clips dry (into a WAV file on a disk that fills up). A recording survives the signals that end
// the program and a kill; one that cannot start, or a screenshot cut short, fails the run.
#include "AppTestSupport.h"
#include "WavFrames.h"

#include "plat/files.h"
#include "plat/plist.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace {

struct Run {
    int status = -1;
    std::string output;
};

// Starts the program headless, playing into `output`, with a screenshot to `shot` unless it is
// empty, and its standard output in `log`; it quits after `seconds` unless that is empty (then only a
// signal ends it). A file-size limit makes its writes beyond that size fail as on a full disk.
Launched launch(const fs::path& program, const std::string& output, const fs::path& shot, const fs::path& log,
                rlim_t fileSizeLimit = RLIM_INFINITY, const std::string& seconds = "") {
    return launchApp(program,
                     {{"SORVANE_HEADLESS", "1"},
                      {"SORVANE_AUDIO_OUTPUT", output},
                      {"SORVANE_RUN_SECONDS", seconds},
                      {"SORVANE_AUTOPLAY", "1"},
                      {"SORVANE_SCREENSHOT", shot},
                      {"SORVANE_PLUGIN_PATH", ""},
                      {"DISPLAY", ""}},
                     log, fileSizeLimit);
}

// Ends a program launched with no run time as SIGTERM does, once `done` holds (or a generous wait
// has run out): a run time of its own would end it on a busy machine before it got that far.
int endedOnceDone(Launched& app, const std::function<bool()>& done) {
    eventually(done);
    ::kill(app.pid, SIGTERM);
    return ended(app);
}

// Runs the program as launch() starts it, its log in "log" beside its folder, until that log holds
// `line` (and `done`, when given, holds too).
Run run(const fs::path& program, const std::string& output, const fs::path& shot, const std::string& line,
        rlim_t fileSizeLimit = RLIM_INFINITY, const std::function<bool()>& done = {}) {
    const fs::path log = program.parent_path().parent_path() / "log";
    Run result;
    auto app = launch(program, output, shot, log, fileSizeLimit, "");
    result.status =
        endedOnceDone(app, [&] { return readAll(log).find(line) != std::string::npos && (!done || done()); });
    result.output = readAll(log);
    return result;
}

// The application as built, in a bundle of its own without the plug-in; its program.
fs::path bundleWithoutThePlugIn(const fs::path& bundle) {
    const fs::path built = SORVANE_APP_DIR;
    fs::create_directories(bundle / "bin");
    fs::copy_file(built / "bin/YUX_Sorvane", bundle / "bin/YUX_Sorvane");
    for (const char* part : {"lib", "Resources", "Info.plist"})
        fs::create_symlink(built / part, bundle / part);
    return bundle / "bin/YUX_Sorvane";
}

constexpr long kRate = 48000;
constexpr std::uintmax_t kFrameBytes = 8; // float stereo

} // namespace

TEST(Application, InstalledItFindsTheEffectByItsRecordAndPlaysThroughIt) {
    ScratchFolder prefix;
    ASSERT_EQ(std::system((std::string(CMAKE_COMMAND) + " --install " + std::getenv("SORVANE_BINARY_DIR") +
                           " --prefix " + prefix.path().string() + " > /dev/null")
                              .c_str()),
              0);
    const fs::path app = prefix.path() / "YUX_Sorvane.app", sound = prefix.path() / "sound.wav";
    const fs::path partial = prefix.path() / "sound.partial.wav";
    const auto started = run(app / "bin/YUX_Sorvane", "wav:" + sound.string(), prefix.path() / "shot.png",
                             "AUEnginePlayer: Audio engine starting.", RLIM_INFINITY,
                             [&] { return sizeOf(partial) > kRate * kFrameBytes; }); // a second of sound
    EXPECT_TRUE(WIFEXITED(started.status) && WEXITSTATUS(started.status) == 128 + SIGTERM) << started.status;
    std::string missing;
    EXPECT_TRUE(linesInOrder(started.output,
                             {"AUExtensionManager: Audio unit was found, making connections now ...",
                              "AUEnginePlayer: Audio unit was attached.",
                              "ViewController: Loading the audio unit's interface...",
                              "AUEnginePlayer: Audio unit re-connectingto the main mixer.",
                              "AUEnginePlayer: Audio engine starting."},
                             missing))
        << missing << "\n"
        << started.output;
    // The panel shows in the container below the bar, and what played is in the file, put in place
    // although the application was ended with its engine running.
    EXPECT_GT(readPng(prefix.path() / "shot.png").colours(0, 60, 1024, 768), 100u);
    const auto written = plat::AVAudioFile::forReading(plat::URL::fileURL(sound));
    ASSERT_TRUE(written.ok());
    const auto& left = written.value()->samples()->channels[0];
    EXPECT_GT(*std::max_element(left.begin(), left.end()), 0.01f);
}

// Also: a recording that meets a full disk leaves the file it was to replace as it was, keeps what
// it has under the name its line gives (its folder's name escaped), and fails the run; so does a
// screenshot that cannot be written (a pipe is not replaced by a file).
TEST(Application, WithoutThePlugInItPlaysItsClipsDry) {
    ScratchFolder bundle;
    const fs::path program = bundleWithoutThePlugIn(bundle.path()), takes = bundle.path() / "takes\x1b[31m",
                   sound = takes / "sound.wav";
    fs::create_directory(takes);
    writeText(sound, "the previous take");
    const fs::path pipe = bundle.path() / "shot.png";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const auto shot = run(program, "null", pipe, "AUEnginePlayer: Audio engine starting.");
    EXPECT_TRUE(WIFEXITED(shot.status) && WEXITSTATUS(shot.status) == 1 && fs::is_fifo(pipe)) << shot.output;
    const auto started =
        run(program, "wav:" + sound.string(), "", "the file itself is unchanged.", 128 * 1024);
    EXPECT_TRUE(WIFEXITED(started.status) && WEXITSTATUS(started.status) == 1) << started.status;
    std::string missing;
    EXPECT_TRUE(linesInOrder(started.output,
                             {"ERROR: There were no audio units found.",
                              "AUEnginePlayer: The player was connected to the mainMixerNode.",
                              "AUEnginePlayer: Audio engine starting.",
                              "AVAudioEngine::ERROR: The audio output stopped: The file '" +
                                  plat::shownText(sound.string()) + "' cannot be written: *"},
                             missing))
        << missing << "\n"
        << started.output;
    EXPECT_EQ(started.output.find("ViewController: Loading the audio unit's interface..."),
              std::string::npos);
    EXPECT_TRUE(readAll(sound) == "the previous take") << "the file the take was to replace is kept";
    const fs::path partial = takes / "sound.partial.wav";
    EXPECT_NE(started.output.find("kept in '" + plat::shownText(partial.string()) + "'"), std::string::npos);
    EXPECT_EQ(started.output.find('\x1b'), std::string::npos) << started.output;
    EXPECT_NE(started.output.find("the file itself is unchanged.\n"), std::string::npos)
        << "the line has no line break of its own";
    const auto kept = plat::AVAudioFile::forReading(plat::URL::fileURL(partial));
    ASSERT_TRUE(kept.ok());
    EXPECT_GT(kept.value()->length(), 4800);
    EXPECT_EQ(wavFrames(partial), framesHeld(partial)) << "frames beyond what the header declares";
}

// What the finder and the engine player print, in order, on each way the start-up goes: the effect
// found and wired in, an effect that cannot be made, and an audio session that refuses playback. Lines
// of the other ways must not show; the rest of what the program prints is left out. The program runs
// until the row's last line is there.
TEST(Application, TheFinderAndThePlayerPrintTheirLinesInOrder) {
    ScratchFolder scratch;
    const fs::path dry = bundleWithoutThePlugIn(scratch.path() / "dry"),
                   clips = scratch.path() / "dry/Resources";
    // A record for the effect's codes, with flags of its own, whose library was built for another
    // plug-in interface: it is found and listed, and cannot be made.
    const fs::path refused = scratch.path() / "PlugIns/Refused.appex";
    fs::create_directories(refused / "lib");
    fs::copy_file(FIXTURE_LIBRARY, refused / "lib/refused.so");
    ASSERT_TRUE(plat::plist::writeFile(
                    refused / "Info.plist",
                    plat::plist::Dictionary{{"type", "aumf"},
                                            {"subtype", "yuSV"},
                                            {"manufacturer", "KWOB"},
                                            {"name", "KWOB: Refused"},
                                            {"version", "1.0"},
                                            {"library", "lib/refused.so"},
                                            {"entry", "FixtureEntryOtherABI"},
                                            {"abiVersion", long(plat::kAudioComponentPlugInABIVersion)},
                                            {"flags", 18L}})
                    .ok());

    const std::string note =
        "NOTE: WE ARE IN AUDIO UNIT RELEASE MODE. ENSURE THE STORYBOARD CONNECTIONS ARE VALID!";
    const std::string process = "Process Name: YUX_Sorvane PID: "; // the program's own number follows
    const auto component = [&](const char* flags) {
        return std::vector<std::string>{"AUExtensionManager: Loaded component has following properties.",
                                        process,
                                        "AUExtension (",
                                        "type: aumf",
                                        "subtype: yuSV",
                                        "manufacturer: KWOB",
                                        std::string("flags: ") + flags,
                                        ")"};
    };
    const auto joined = [](std::vector<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const std::vector<std::string> playing = {
        note,
        "ERROR: There were no audio units found.",
        "AUEnginePlayer: Audio file at '*",
        "AUEnginePlayer: The player was connected to the mainMixerNode.",
        (clips / "*").string(),
    };
    const std::string session =
        "AUEnginePlayer::ERROR: Could not set audio session active true. system error: "
        "The audio session";
    const struct {
        const char* fault;
        fs::path program;
        std::vector<std::pair<std::string, std::string>> variables;
        std::vector<std::string> lines;
    } rows[] = {
        {"the connection announced before the player's lines, or the screen told before it",
         fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane",
         {},
         joined({{note},
                 component("0x00000002"),
                 {"AUExtensionManager: Audio unit was found, making connections now ...",
                  "AUEnginePlayer: A new audio unit will be connected.",
                  "AUEnginePlayer: The audio unit reports MIDI output names. Assigning a handling block.",
                  "AUEnginePlayer: Audio unit was attached.",
                  "AUEnginePlayer::ERROR: There was a problem with the file processing format or the file is "
                  "nil (yet).",
                  "AUExtensionManager: Performed audio unit connection.",
                  "ViewController: Loading the audio unit's interface...",
                  "WARNING: Audio unit is nil (yet?)."}})},
        {"the search pattern logged instead of the component, or a failed instance taken for one",
         dry,
         {{"SORVANE_PLUGIN_PATH", (scratch.path() / "PlugIns").string()}},
         joined({{note},
                 component("0x00000012"),
                 {"AudioComponentDescription(componentType: 1635085670, componentSubType: 2037732182, "
                  "componentManufacturer: 1264013122, componentFlags: 18, componentFlagsMask: 0)",
                  "Error: Could not instantiate audio unit."}})},
        {"a refused activation not reported, or the engine not started after it",
         dry,
         {{"SORVANE_AUTOPLAY", "1"}, {"SORVANE_AUDIO_SESSION_FAIL", "active"}},
         joined({playing,
                 {session + " cannot be activated or deactivated (SORVANE_AUDIO_SESSION_FAIL).",
                  "AUEnginePlayer: Audio engine starting."}})},
        {"a refused category not reported, or activated all the same",
         dry,
         {{"SORVANE_AUTOPLAY", "1"}, {"SORVANE_AUDIO_SESSION_FAIL", "category"}},
         joined({playing,
                 {session + "'s category cannot be set (SORVANE_AUDIO_SESSION_FAIL).",
                  "AUEnginePlayer: Audio engine starting."}})},
    };
    // Every row's lines are watched in every row, so that one way's lines showing on another fails.
    std::vector<std::string> watched = {process + "*", "AUEnginePlayer: Audio session was set active."};
    for (const auto& row : rows) watched.insert(watched.end(), row.lines.begin(), row.lines.end());

    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        // A log of its own: the last one's lines must not pass for this one's.
        const fs::path log = scratch.path() / ("log-" + std::to_string(&row - rows));
        // A row's own settings come after these, which unset them.
        std::vector<std::pair<std::string, std::string>> variables = {
            {"SORVANE_HEADLESS", "1"},          {"SORVANE_AUDIO_OUTPUT", "null"},
            {"SORVANE_RUN_SECONDS", ""},        {"SORVANE_AUTOPLAY", ""},
            {"SORVANE_SCREENSHOT", ""},         {"SORVANE_PLUGIN_PATH", ""},
            {"SORVANE_AUDIO_SESSION_FAIL", ""}, {"DISPLAY", ""}};
        variables.insert(variables.end(), row.variables.begin(), row.variables.end());
        auto app = launchApp(row.program, variables, log);
        ASSERT_GT(app.pid, 0);
        std::vector<std::string> wanted = row.lines;
        std::replace(wanted.begin(), wanted.end(), process, process + std::to_string(app.pid));
        eventually([&] {
            const auto lines = watchedLines(readAll(log), watched);
            return std::find(lines.begin(), lines.end(), wanted.back()) != lines.end();
        });
        // Each line is on its way to the log as soon as it is printed: how the program ends is not
        // this test's business.
        ::kill(app.pid, SIGKILL);
        ended(app);
        EXPECT_TRUE(sameLines(watchedLines(readAll(log), watched), wanted));
    }
}

// Ctrl-C, SIGTERM and SIGHUP end a recording run as closing the window does: the take is finished
// and in place, the screenshot written, and the exit status is 128 + the signal, as a shell reports.
TEST(Application, ASignalEndsTheRunWithTheTakeInPlaceAndTheScreenshotWritten) {
    const fs::path program = fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane";
    for (const int signo : {SIGINT, SIGTERM, SIGHUP}) {
        ScratchFolder scratch;
        const fs::path take = scratch.path() / "take.wav", partial = scratch.path() / "take.partial.wav",
                       shot = scratch.path() / "shot.png", log = scratch.path() / "log";
        auto app = launch(program, "wav:" + take.string(), shot, log, RLIM_INFINITY, "");
        ASSERT_GT(app.pid, 0);
        // A quarter of a second of sound written before the signal.
        const bool recording = eventually([&] { return sizeOf(partial) > kRate / 4 * kFrameBytes; });
        const auto writtenBefore = sizeOf(partial);
        ::kill(app.pid, signo);
        const int status = ended(app);
        ASSERT_TRUE(recording) << readAll(log);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signo)
            << "signal " << signo << ", status " << status << "\n"
            << readAll(log);
        const long frames = wavFrames(take);
        EXPECT_GE(frames, long(writtenBefore / kFrameBytes) - 1024) << signo;
        EXPECT_LT(frames, 120 * kRate) << signo;
        EXPECT_FALSE(fs::exists(partial)) << signo;
        EXPECT_GT(readPng(shot).colours(0, 60, 1024, 768), 100u) << signo;
        EXPECT_NE(readAll(log).find("UIApplication: the window was written to " + shot.string()),
                  std::string::npos);
    }
}

// A run killed outright leaves its take under a visible name, readable up to about the last second
// of sound; the cleanup of stale temporaries that the next save into the folder runs keeps it. So
// does a take whose name is too long to take ".partial" as it is.
TEST(Application, AKilledRecordingLeavesAReadableTakeThatNoCleanupRemoves) {
    const struct {
        const char* fault;
        std::string take, partial;
    } cases[] = {
        {"a take killed", "take.wav", "take.partial.wav"},
        {"a take with a 255-byte name written hidden", std::string(251, 't') + ".wav",
         std::string(239, 't') + ".partial.wav"},
    };
    for (const auto& c : cases) {
        ScratchFolder scratch;
        const fs::path take = scratch.path() / c.take, partial = scratch.path() / c.partial,
                       log = scratch.path() / "log";
        auto app = launch(fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane", "wav:" + take.string(), "", log,
                          RLIM_INFINITY, "");
        ASSERT_GT(app.pid, 0);
        // Two seconds of sound described by the header: it has been brought up to date while recording.
        const bool recording = eventually([&] { return wavFrames(partial) >= 2 * kRate; });
        ::kill(app.pid, SIGKILL);
        const int status = ended(app);
        ASSERT_TRUE(recording) << c.fault << "\n" << readAll(log);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        EXPECT_FALSE(fs::exists(take));
        const long frames = wavFrames(partial);
        const auto written = long(sizeOf(partial) / kFrameBytes);
        EXPECT_GE(frames, 2 * kRate);
        EXPECT_LE(frames, written);
        EXPECT_GE(frames, written - 2 * kRate) << "the header lags more than about a second";

        fs::last_write_time(partial, fs::file_time_type::clock::now() - std::chrono::hours(1));
        ASSERT_TRUE(plat::writeFileAtomically(scratch.path() / "settings.plist", "saved").ok());
        EXPECT_EQ(wavFrames(partial), frames)
            << c.fault << ": the cleanup of stale temporaries removed the take";
        for (const auto& entry : fs::directory_iterator(scratch.path()))
            EXPECT_NE(entry.path().filename().string()[0], '.')
                << c.fault << ": a hidden copy of the take: " << entry.path();
    }
}

// A recording that cannot start says so and fails the run, as one that fails midway does; what
// stood at the target stays. So does one left no visible name to be written as. A recording and a
// screenshot that would replace one file (any take of the run, or the partial any is written as)
// are refused before either is made, however the two are spelled.
TEST(Application, ARecordingThatCannotStartFailsTheRun) {
    ScratchFolder scratch;
    const fs::path folder = scratch.path() / "folder", pipe = scratch.path() / "pipe",
                   old = scratch.path() / "old.wav";
    fs::create_directories(folder);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    writeText(old, "the previous take");
    fs::create_symlink("old.wav", scratch.path() / "old-link.png");
    fs::create_symlink("new.wav", scratch.path() / "take-link.wav");
    fs::create_symlink("folder/../new.wav", scratch.path() / "shot-link.png");
    const fs::path program = fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane", log = scratch.path() / "log";
    const auto clash = [](const std::string& output, const fs::path& shot) {
        return "ERROR: SORVANE_AUDIO_OUTPUT ('" + output + "') and SORVANE_SCREENSHOT ('" + shot.string() +
               "') name one file; nothing is recorded and no screenshot is written.";
    };
    const std::string started = "AUEnginePlayer::ERROR: Could not start audio engine. error: ";
    const std::string tooLong = "wav:" + (scratch.path() / (std::string(252, 't') + ".wav")).string();
    const std::string take = "wav:" + (scratch.path() / "old.wav").string(),
                      takeLink = "wav:" + (scratch.path() / "take-link.wav").string();
    const fs::path oldSpelledOtherwise = "folder/../old.wav", crowded = scratch.path() / "crowded";
    for (int n = 1; n <= 999; ++n)
        writeText(crowded / (n == 1 ? "take.partial.wav" : "take.partial-" + std::to_string(n) + ".wav"), "");
    const std::string longTake = "wav:" + (scratch.path() / (std::string(251, 't') + ".wav")).string();
    const struct {
        const char* target;
        std::string output, line, says;
        fs::path shot = {};
    } cases[] = {
        {"a folder", "wav:" + folder.string(), started, "it is a folder"},
        {"a pipe", "wav:" + pipe.string(), started, "it is not a regular file"},
        {"a device", "wav:/dev/null", started, "it is not a regular file"},
        {"a missing folder", "wav:" + (scratch.path() / "missing/take.wav").string(), started,
         "/missing/take.wav"},
        {"no file", "wav:", started, "SORVANE_AUDIO_OUTPUT is 'wav:'"},
        {"a 256-byte name, failing only once the take ends", tooLong, started,
         "SORVANE_AUDIO_OUTPUT is '" + tooLong + "'; no file takes a name longer than 255 bytes."},
        {"the screenshot at the take's path, spelled otherwise", take, clash(take, oldSpelledOtherwise), "",
         oldSpelledOtherwise},
        {"the screenshot through a link to the take", take, clash(take, scratch.path() / "old-link.png"), "",
         scratch.path() / "old-link.png"},
        {"two links to one file not made yet", takeLink, clash(takeLink, scratch.path() / "shot-link.png"),
         "", scratch.path() / "shot-link.png"},
        {"two bare names", "wav:out.wav", clash("wav:out.wav", "out.wav"), "", "out.wav"},
        {"the screenshot at the take's partial", take, clash(take, "old.partial.wav"), "", "old.partial.wav"},
        {"the screenshot at a later partial", take, clash(take, "old.partial-7.wav"), "",
         "old.partial-7.wav"},
        {"the screenshot at a numbered take", take, clash(take, "old-2.wav"), "", "old-2.wav"},
        {"the screenshot at a numbered take's partial", take, clash(take, "old-3.partial-2.wav"), "",
         "old-3.partial-2.wav"},
        {"the screenshot at a shortened numbered take", longTake,
         clash(longTake, std::string(249, 't') + "-2.wav"), "", std::string(249, 't') + "-2.wav"},
        {"the screenshot at a shortened partial", longTake,
         clash(longTake, std::string(239, 't') + ".partial-5.wav"), "",
         std::string(239, 't') + ".partial-5.wav"},
        {"every visible name for the take taken, written hidden", "wav:" + (crowded / "take.wav").string(),
         started, "' and its numbered names are all taken."},
    };
    // Bare names lead to the scratch folder.
    const fs::path previous = fs::current_path();
    fs::current_path(scratch.path());
    for (const auto& c : cases) {
        auto app = launch(program, c.output, c.shot, log, RLIM_INFINITY, "");
        // A clash ends the program by itself; an output that cannot start leaves it running.
        const int status = !c.shot.empty() ? ended(app) : endedOnceDone(app, [&] {
            return readAll(log).find(c.line) != std::string::npos;
        });
        const std::string output = readAll(log);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.target << ": " << status << "\n"
                                                                   << output;
        const auto line = output.find(c.line);
        EXPECT_NE(line, std::string::npos) << c.target << "\n" << output;
        EXPECT_NE(output.find(c.says, line == std::string::npos ? 0 : line), std::string::npos)
            << c.target << "\n"
            << output;
    }
    fs::current_path(previous);
    EXPECT_TRUE(fs::is_directory(folder) && fs::is_empty(folder) && fs::is_fifo(pipe));
    EXPECT_EQ(std::distance(fs::directory_iterator(crowded), fs::directory_iterator()), 999)
        << "a take, or a hidden copy of it, beside the partials";
    EXPECT_TRUE(readAll(old) == "the previous take") << "the old file replaced";
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(scratch.path())) left.insert(entry.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"folder", "pipe", "old.wav", "old-link.png", "take-link.wav",
                                           "shot-link.png", "log", "crowded"}))
        << "a take, a partial take or a screenshot made";
}

// A screenshot whose write fails midway (the file-size limit, as a full disk) fails the run and
// leaves the screenshot it was to replace as it was.
TEST(Application, AScreenshotThatCannotBeWrittenWholeFailsTheRunAndKeepsTheOldOne) {
    ScratchFolder scratch;
    const fs::path shot = scratch.path() / "shot.png", log = scratch.path() / "log";
    writeText(shot, "the previous screenshot");
    auto app = launch(fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane", "null", shot, log, 16 * 1024, "1");
    const int status = ended(app);
    const std::string output = readAll(log);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << "\n" << output;
    EXPECT_NE(output.find("UIApplication: the window could not be written: "), std::string::npos) << output;
    EXPECT_EQ(readAll(shot), "the previous screenshot");
}

// A recording or a screenshot named by a link to a file that is not there yet makes that file; the
// link stays. A link into a missing folder is refused as a missing folder is.
TEST(Application, ALinkToAFileNotMadeYetIsWrittenThrough) {
    ScratchFolder scratch;
    const fs::path take = scratch.path() / "take.wav", shot = scratch.path() / "shot.png",
                   log = scratch.path() / "log";
    fs::create_symlink("made/take.wav", take);
    fs::create_symlink("made/shot.png", shot);
    fs::create_directory(scratch.path() / "made");
    auto app = launch(fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane", "wav:" + take.string(), shot, log,
                      RLIM_INFINITY, "");
    const int status = endedOnceDone(app, [&] {
        return sizeOf(scratch.path() / "made/take.partial.wav") > kRate / 4 * kFrameBytes; // a quarter second
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status << "\n" << readAll(log);
    EXPECT_TRUE(fs::is_symlink(take) && fs::is_symlink(shot)) << "a link replaced by a file";
    EXPECT_GT(wavFrames(scratch.path() / "made/take.wav"), 0) << "the take is not where its link points";
    EXPECT_GT(readPng(scratch.path() / "made/shot.png").width, 0)
        << "the screenshot is not where its link points";

    fs::remove_all(scratch.path() / "made");
    const std::string notStarted = "AUEnginePlayer::ERROR: Could not start audio engine. error: ";
    auto refused = launch(fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane", "wav:" + take.string(), shot, log,
                          RLIM_INFINITY, "");
    const int refusedStatus =
        endedOnceDone(refused, [&] { return readAll(log).find(notStarted) != std::string::npos; });
    const std::string output = readAll(log);
    EXPECT_TRUE(WIFEXITED(refusedStatus) && WEXITSTATUS(refusedStatus) == 1) << refusedStatus << "\n"
                                                                             << output;
    EXPECT_NE(output.find(notStarted), std::string::npos) << output;
    EXPECT_NE(output.find("UIApplication: the window could not be written: "), std::string::npos) << output;
    EXPECT_TRUE(fs::is_symlink(take) && fs::is_symlink(shot) && !fs::exists(scratch.path() / "made"));
}
