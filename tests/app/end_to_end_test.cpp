// The application program itself, headless: installed under a prefix, it finds the plug-in through
// its record, embeds it and plays through it (into a WAV file); a bundle without the plug-in plays
// its clips dry (into a WAV file on a disk that fills up). A recording survives the signals that end
// the program and a kill; one that cannot start, or a screenshot cut short, fails the run.
#include "AppTestSupport.h"
#include "TestClips.h"
#include "WavFrames.h"

#include "plat/files.h"
#include "plat/plist.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

struct Run {
    int status = -1;
    std::string output;
};

// Starts the program headless, playing into `output`, with a screenshot to `shot` unless it is
// empty, and its standard output in `log`; it quits after `seconds` unless that is empty (then only a
// signal ends it). A file-size limit makes its writes beyond that size fail as on a full disk. It
// gets `more` variables, and is started by the name `startedAs` when one is given, with `arguments`.
Launched launch(const fs::path& program, const std::string& output, const fs::path& shot, const fs::path& log,
                rlim_t fileSizeLimit = RLIM_INFINITY, const std::string& seconds = "",
                std::vector<std::pair<std::string, std::string>> more = {}, const std::string& startedAs = {},
                const std::vector<std::string>& arguments = {}, rlim_t processLimit = RLIM_INFINITY) {
    more.insert(more.begin(), {{"SORVANE_HEADLESS", "1"},
                               {"SORVANE_AUDIO_OUTPUT", output},
                               {"SORVANE_RUN_SECONDS", seconds},
                               {"SORVANE_AUTOPLAY", "1"},
                               {"SORVANE_SCREENSHOT", shot},
                               {"SORVANE_PLUGIN_PATH", ""},
                               {"DISPLAY", ""}});
    return launchApp(program, more, log, fileSizeLimit, startedAs, arguments, processLimit);
}

// Ends a program launched with no run time as SIGTERM does, once `done` holds (or a generous wait
// has run out, which fails the test naming what it waited for: `awaited`): a run time of its own
// would end it on a busy machine before it got that far.
int endedOnceDone(Launched& app, const std::function<bool()>& done, const std::string& awaited) {
    EXPECT_TRUE(eventually(done)) << "waited 60 s for " << awaited << "; the program was sent SIGTERM";
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
    result.status = endedOnceDone(
        app, [&] { return readAll(log).find(line) != std::string::npos && (!done || done()); },
        "the line '" + line + "'" + (done ? " and what the test waits for with it" : ""));
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

// The loudest sample of a take's left channel.
float peakOf(const fs::path& take) {
    const auto written = plat::AVAudioFile::forReading(plat::URL::fileURL(take));
    EXPECT_TRUE(written.ok()) << take;
    if (!written.ok()) return 0;
    const auto& left = written.value()->samples()->channels[0];
    return left.empty() ? 0 : *std::max_element(left.begin(), left.end());
}

} // namespace

TEST(Application, InstalledItFindsTheEffectByItsRecordAndPlaysThroughIt) {
    ScratchFolder prefix;
    ASSERT_EQ(runCommand(std::string(CMAKE_COMMAND) + " --install " + std::getenv("SORVANE_BINARY_DIR") +
                         " --prefix " + prefix.path().string() + " > /dev/null"),
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
    EXPECT_GT(peakOf(sound), 0.01f);
}

// Started through a link of another name found on PATH, by any name at all (argv[0]), or through the
// dynamic loader, the program finds its bundle from its own file and plays; the name it was started by
// shows escaped. Outside any bundle it says where it looked and fails the run, recording nothing.
TEST(Application, StartedByAnotherNameItFindsItsClipsAndPlays) {
    ScratchFolder scratch;
    fs::create_directory(scratch.path() / "bin");
    const fs::path built = fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane",
                   alone = scratch.path() / "alone\x1b[31m/sorvane";
    fs::create_symlink(built, scratch.path() / "bin/sorvane");
    fs::create_directory(alone.parent_path());
    fs::copy_file(built, alone);
    const char* path = std::getenv("PATH");
    const struct {
        const char* fault;
        fs::path program;
        std::string startedAs;
        std::vector<std::string> arguments = {};
        std::string noBundle = {}; // the line of a start that finds none
    } cases[] = {
        {"the bundle looked for beside the link's name, found on PATH", "sorvane", ""},
        {"the bundle looked for where argv[0] says, or that name printed raw", built,
         "/nowhere/\x1b[31mYUX_Sorvane"},
        {"the loader's file taken for the program's",
         "/lib64/ld-linux-x86-64.so.2",
         "",
         {fs::relative(built).string()}},
        {"no bundle taken for an empty one, the run ending well",
         alone,
         "",
         {},
         "UIApplication: no application bundle was found for the program " +
             plat::shownText(fs::canonical(alone).string()) + ": " +
             plat::shownText((fs::canonical(alone.parent_path()) / "Info.plist").string()) +
             " cannot be read\n"},
    };
    for (const auto& c : cases) {
        const fs::path take = scratch.path() / (std::to_string(&c - cases) + ".wav"),
                       partial = take.parent_path() / (take.stem().string() + ".partial.wav"),
                       log = scratch.path() / "log";
        auto app = launch(c.program, "wav:" + take.string(), "", log, RLIM_INFINITY, "",
                          {{"PATH", (scratch.path() / "bin").string() + ":" + (path ? path : "")},
                           {"LD_LIBRARY_PATH", (fs::path(SORVANE_APP_DIR) / "lib").string()}},
                          c.startedAs, c.arguments);
        // A second of sound: some clips open with a quarter second of near silence.
        const int status = endedOnceDone(
            app,
            [&] {
                const std::string output = readAll(log);
                return sizeOf(partial) > kRate * kFrameBytes ||
                       output.find("was not found") != std::string::npos ||
                       (!c.noBundle.empty() && output.find(c.noBundle) != std::string::npos);
            },
            "a second of sound in " + partial.string());
        const std::string output = readAll(log);
        EXPECT_EQ(output.find('\x1b'), std::string::npos) << c.fault << "\n" << output;
        if (!c.noBundle.empty()) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.fault << ": " << status;
            EXPECT_NE(output.find(c.noBundle), std::string::npos) << c.fault << "\n" << output;
            EXPECT_FALSE(fs::exists(take) || fs::exists(partial)) << c.fault;
            continue;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << c.fault << ": " << status;
        EXPECT_EQ(output.find("was not found"), std::string::npos) << c.fault << "\n" << output;
        EXPECT_GT(peakOf(take), 0.01f) << c.fault;
    }
}

// Ended in its first milliseconds, while the registry's thread still scans and starts test loads,
// the program tears down nothing that thread uses (the helper's path, the test loads' environment,
// the registry, the bundle): it reads no freed memory, and finds the effect or simply ends. Forty
// runs, a few at a time. Whatever the timing, a program that uses each such static once the process
// is ending, after any destroyed at exit is gone, finds each as it was.
TEST(Application, EndedAtOnceItReadsNoFreedMemory) {
    ScratchFolder scratch;
    auto statics = launchApp(EXIT_ORDER_PROGRAM, {}, scratch.path() / "statics");
    const int staticsStatus = ended(statics);
    const std::string used = readAll(scratch.path() / "statics");
    EXPECT_TRUE(WIFEXITED(staticsStatus) && WEXITSTATUS(staticsStatus) == 0) << staticsStatus << "\n" << used;
    EXPECT_EQ(used.find("AddressSanitizer"), std::string::npos) << used;
    constexpr int kRuns = 40, kAtOnce = 4;
    const auto log = [&](int run) { return scratch.path() / ("log-" + std::to_string(run)); };
    for (int first = 0; first < kRuns; first += kAtOnce) {
        std::vector<Launched> apps;
        for (int run = first; run < first + kAtOnce; ++run)
            // A thread still starting as the process ends passes for a leak: not what this row watches.
            apps.push_back(launch(fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane", "null", "", log(run),
                                  RLIM_INFINITY, "0.001",
                                  {{"ASAN_OPTIONS", "fast_unwind_on_malloc=0:detect_leaks=0"}}));
        for (int run = first; run < first + kAtOnce; ++run) {
            const int status = ended(apps[std::size_t(run - first)]);
            const std::string output = readAll(log(run));
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << output;
            EXPECT_EQ(output.find("AddressSanitizer"), std::string::npos) << output;
            EXPECT_EQ(output.find("There were no audio units found."), std::string::npos) << output;
            // A helper under a freed path cannot be started, and the plug-in is skipped.
            EXPECT_EQ(output.find("plat::components: "), std::string::npos) << output;
        }
    }
}

// Also: a recording that meets a full disk leaves the file it was to replace as it was, keeps what
// it has under the name its line gives (its folder's long name escaped, the line whole), and fails
// the run; so does a screenshot that cannot be written (a pipe is not replaced by a file).
TEST(Application, WithoutThePlugInItPlaysItsClipsDry) {
    ScratchFolder bundle;
    const fs::path program = bundleWithoutThePlugIn(bundle.path()),
                   takes = bundle.path() / std::string(200, 'd') / (std::string(220, 'e') + "takes\x1b[31m"),
                   sound = takes / "sound.wav";
    fs::create_directories(takes);
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
    EXPECT_NE(started.output.find("File too large. What was written is kept in '" +
                                  plat::shownText(partial.string()) + "';"),
              std::string::npos)
        << "the reason and the kept take's name, however long its folder's name";
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
        EXPECT_TRUE(eventually([&] {
            const auto lines = watchedLines(readAll(log), watched);
            return std::find(lines.begin(), lines.end(), wanted.back()) != lines.end();
        })) << "waited 60 s for its last line";
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
        ASSERT_TRUE(recording) << "no quarter second of sound recorded within 60 s\n" << readAll(log);
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

// An address space too small for the libraries the program is linked with: they stop it before main,
// which must not end it without a word.
TEST(Application, AnAddressSpaceTooSmallToStartInSaysSo) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer cannot run in a limited address space";
#endif
    ScratchFolder scratch;
    const fs::path log = scratch.path() / "log";
    auto app =
        launchApp("prlimit",
                  {{"SORVANE_HEADLESS", "1"}, {"SORVANE_AUDIO_OUTPUT", "null"}, {"SORVANE_RUN_SECONDS", "1"}},
                  log, RLIM_INFINITY, "",
                  {"--as=" + std::to_string(400 << 20), "--",
                   (fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane").string()});
    const int status = ended(app);
    const std::string output = readAll(log);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status << "\n" << output;
    EXPECT_NE(output.find("YUX_Sorvane: the program could not start: "), std::string::npos) << output;
}

// A thread the program cannot start (the limit of processes reached, before its take or as it opens
// it) ends the run at once with the cause, and a take already opened is finished and in place. Each
// limit from a few threads up to the first at which the run records is tried.
TEST(Application, AThreadThatCannotStartEndsTheRunWithItsTakeFinished) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give the program a user (and a process count) of its own";
    ScratchFolder scratch;
    fs::permissions(scratch.path(), fs::perms::all, fs::perm_options::add); // for that user
    const std::vector<std::pair<std::string, std::string>> own{
        {"XDG_CONFIG_HOME", (scratch.path() / "config").string()},
        {"XDG_CACHE_HOME", (scratch.path() / "cache").string()},
        {"XDG_DATA_HOME", (scratch.path() / "data").string()}};
    bool recorded = false, endedWithItsTake = false;
    for (rlim_t limit = 4; limit <= 64 && !recorded; ++limit) {
        const std::string name = "take" + std::to_string(limit);
        const fs::path take = scratch.path() / (name + ".wav"),
                       partial = scratch.path() / (name + ".partial.wav"), log = scratch.path() / "log";
        auto app = launch(fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane", "wav:" + take.string(), "", log,
                          RLIM_INFINITY, "", own, {}, {}, limit);
        const int status = endedOnceDone(
            app,
            [&] {
                return sizeOf(partial) > kRate / 4 * kFrameBytes ||
                       readAll(log).find("UIApplication: the application ends: ") != std::string::npos;
            },
            "a quarter second of sound in " + partial.string() + " or the run's end");
        const std::string output = readAll(log);
        recorded = WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM;
        if (recorded) break;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << limit << ": " << status << "\n"
                                                                   << output;
        EXPECT_NE(output.find("UIApplication: the application ends: A thread could not be started: "),
                  std::string::npos)
            << limit << "\n"
            << output;
        EXPECT_FALSE(fs::exists(partial)) << limit;
        if (fs::exists(take)) {
            endedWithItsTake = true;
            EXPECT_EQ(wavFrames(take), framesHeld(take)) << limit;
        }
    }
    EXPECT_TRUE(recorded) << "no limit let the run record";
    EXPECT_TRUE(endedWithItsTake) << "no limit ended the run with its take opened";
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
        ASSERT_TRUE(recording) << c.fault << ": no two seconds of sound recorded within 60 s\n"
                               << readAll(log);
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
    fs::create_symlink("numbered-shot.png", scratch.path() / "old-4.wav");
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
    const std::string odd = "wav:" + (scratch.path() / "q\"b\\s\x01/").string();
    const fs::path deep = scratch.path() / std::string(200, 'm') / std::string(230, 'n') / "take.wav";
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
        {"a folder named with a quote, a backslash and a control byte, escaped once", odd, started,
         "SORVANE_AUDIO_OUTPUT is '" + plat::shownText(odd) + "'; it takes"},
        {"a missing folder with a long name, the line cut short", "wav:" + deep.string(), started,
         "'" + deep.string() + "' cannot be written: No such file or directory.\n"},
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
        {"the screenshot where a numbered take's link leads", take, clash(take, "numbered-shot.png"), "",
         "numbered-shot.png"},
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
        const int status = !c.shot.empty()
                               ? ended(app)
                               : endedOnceDone(
                                     app, [&] { return readAll(log).find(c.line) != std::string::npos; },
                                     "the line '" + c.line + "'");
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
                                           "shot-link.png", "old-4.wav", "log", "crowded"}))
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
    const fs::path partial = scratch.path() / "made/take.partial.wav";
    const int status = endedOnceDone(
        app, [&] { return sizeOf(partial) > kRate / 4 * kFrameBytes; },
        "a quarter second of sound in " + partial.string());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status << "\n" << readAll(log);
    EXPECT_TRUE(fs::is_symlink(take) && fs::is_symlink(shot)) << "a link replaced by a file";
    EXPECT_GT(wavFrames(scratch.path() / "made/take.wav"), 0) << "the take is not where its link points";
    EXPECT_GT(readPng(scratch.path() / "made/shot.png").width, 0)
        << "the screenshot is not where its link points";

    fs::remove_all(scratch.path() / "made");
    const std::string notStarted = "AUEnginePlayer::ERROR: Could not start audio engine. error: ";
    auto refused = launch(fs::path(SORVANE_APP_DIR) / "bin/YUX_Sorvane", "wav:" + take.string(), shot, log,
                          RLIM_INFINITY, "");
    const int refusedStatus = endedOnceDone(
        refused, [&] { return readAll(log).find(notStarted) != std::string::npos; },
        "the line '" + notStarted + "'");
    const std::string output = readAll(log);
    EXPECT_TRUE(WIFEXITED(refusedStatus) && WEXITSTATUS(refusedStatus) == 1) << refusedStatus << "\n"
                                                                             << output;
    EXPECT_NE(output.find(notStarted), std::string::npos) << output;
    EXPECT_NE(output.find("UIApplication: the window could not be written: "), std::string::npos) << output;
    EXPECT_TRUE(fs::is_symlink(take) && fs::is_symlink(shot) && !fs::exists(scratch.path() / "made"));
}

// Names and settings reach the terminal escaped on every road a few runs take: the program's own
// name, each SORVANE_ setting, the folders of the bundle, its clips, the plug-ins, the take, the
// screenshot, home, settings, documents and a plug-in folder that is not there, and the texts of plug-in
// records (skipped as malformed, as a duplicate, as a library that fails its test load or cannot be made, or
// listed without their damaged icon), a take that cannot be put in place; and, printed by a program of their
// own as no run reaches them, the settings' files, groups and keys, the file helpers' folders and addresses,
// the help site's root, the URL opener, a preset's file and name, a preset document's bad entries, the help
// screen's site without pages, and the screens' picked documents and alerts. Each holds ESC with a colour,
// CSI as one character, BEL, CR, DEL, a line break before a text of its own and a byte that is no UTF-8 (a
// record holds what XML can of them). Nothing the program writes to standard output or error holds a control
// byte raw but the line break and the tab, nor text that is not UTF-8, and no line of it begins with that
// text. The help site and its opener are read only once Help is pressed, which no headless run is: set all
// the same, so that a use at start-up is scanned too.
TEST(Application, NoNameOrSettingItPrintsReachesTheTerminalRaw) {
    const std::string marker = "INJECTED LINE";
    const std::string hostile = "\x1b[31m\xc2\x9b\x07\r\x7f\n" + marker + "\xff",
                      inRecord = "\xc2\x9b\r\x7f\n" + marker;
    ScratchFolder scratch;
    const fs::path root = scratch.path() / ("names" + hostile), plugIns = root / ("PlugIns" + hostile),
                   refused = root / ("Refused" + hostile), takes = root / ("takes" + hostile),
                   home = root / ("home" + hostile), config = root / ("config" + hostile);
    // Bundles whose clips are one short pass, looped many times a second, or one that cannot be opened.
    const auto withClip = [](const fs::path& program, const std::function<void(const fs::path&)>& write) {
        const fs::path resources = program.parent_path().parent_path() / "Resources";
        fs::remove(resources);
        fs::create_directory(resources);
        write(resources / "clip.m4a");
        for (int n = 1; n <= AUEnginePlayer::kClipCount; ++n)
            fs::create_symlink("clip.m4a", resources / (std::to_string(n) + ".m4a"));
        return program;
    };
    const fs::path program =
        withClip(bundleWithoutThePlugIn(root / "YUX_Sorvane.app"),
                 [](const fs::path& clip) { writeClip(clip, plat::AudioFileType::m4a, 2, 1024); })
            .parent_path() /
        ("YUX_Sorvane" + hostile);
    fs::create_symlink("YUX_Sorvane", program);
    const fs::path broken = withClip(bundleWithoutThePlugIn(root / "Broken.app"),
                                     [](const fs::path& clip) { writeText(clip, "no clip"); });
    // Run from the bundle whose help pages are missing, the help screen's site has none to fall back on.
    const fs::path printedTexts = broken.parent_path() / "printed_texts";
    fs::copy_file(PRINTED_TEXTS_PROGRAM, printedTexts);
    for (const auto& folder : {takes, home, plugIns}) fs::create_directories(folder);
    writeText(config / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");

    // The effect as built, its icon damaged and named by its record's text; a duplicate of its codes;
    // a record that is no property list, one whose version is its text, one whose library ends its test
    // load; and, alone, one for the effect's codes that cannot be made.
    const fs::path effect = plugIns / ("a" + hostile + ".appex");
    fs::copy(fs::path(SORVANE_APP_DIR) / "PlugIns/YUX_Sorvane_Extension.appex", effect,
             fs::copy_options::recursive);
    auto record = plat::plist::readFile(effect / "Info.plist");
    ASSERT_TRUE(record.ok() && record->asDictionary());
    auto changed = *record->asDictionary();
    changed.set("icon", "Resources/icon" + inRecord + ".png");
    writeText(effect / ("Resources/icon" + inRecord + ".png"), "no picture");
    ASSERT_TRUE(plat::plist::writeFile(effect / "Info.plist", changed).ok());
    const auto fixture = [&](const fs::path& appex, const fs::path& library, const char* entry,
                             const char* subtype, const std::string& version) {
        fs::create_directories(appex / "lib");
        fs::copy_file(library, appex / "lib/fixture.so");
        ASSERT_TRUE(plat::plist::writeFile(
                        appex / "Info.plist",
                        plat::plist::Dictionary{{"type", "aumf"},
                                                {"subtype", subtype},
                                                {"manufacturer", "KWOB"},
                                                {"name", "KWOB: " + inRecord},
                                                {"version", version},
                                                {"library", "lib/fixture.so"},
                                                {"entry", entry},
                                                {"abiVersion", long(plat::kAudioComponentPlugInABIVersion)},
                                                {"flags", 0L}})
                        .ok());
    };
    fixture(plugIns / ("b" + hostile + ".appex"), FIXTURE_LIBRARY, "FixtureEntry", "yuSV", "1.0");
    writeText(plugIns / ("c" + hostile + ".appex/Info.plist"), "no record");
    fixture(plugIns / ("d" + hostile + ".appex"), FIXTURE_LIBRARY, "FixtureEntry", "yuVR", "1.0" + inRecord);
    fixture(plugIns / ("e" + hostile + ".appex"), FIXTURE_EXITING_LIBRARY, "FixtureEntry", "yuEX", "1.0");
    fixture(refused / ("r" + hostile + ".appex"), FIXTURE_LIBRARY, "FixtureEntryOtherABI", "yuSV", "1.0");

    // A take whose name is too long to take ".partial" as it is.
    const std::string take =
        "wav:" + (takes / (std::string(250 - 4 - hostile.size(), 't') + hostile + ".wav")).string();
    const std::string shot = (root / ("shot" + hostile + ".png")).string();
    const struct {
        const char* road;
        fs::path program;
        std::vector<std::pair<std::string, std::string>> variables;
        std::vector<std::string> until; // printed before the program is ended
        std::vector<std::string> roads; // printed by the time it ends
        rlim_t fileSizeLimit = RLIM_INFINITY;
        std::function<void()> meanwhile = {}; // once `until` is printed
        std::vector<std::string> arguments = {};
    } runs[] = {
        {"the effect plays into a take that meets a full disk, as does the screenshot",
         program,
         {{"SORVANE_PLUGIN_PATH", plugIns.string() + ":" + (root / ("no plug-ins" + hostile)).string()},
          {"SORVANE_AUDIO_OUTPUT", take},
          {"XDG_DOCUMENTS_DIR", root / ("Documents" + hostile)}},
         {"The audio output stopped: ", "' looped: "},
         {"Process Name: YUX_Sorvane", "cannot read a plug-in folder", "already registered by",
          "is not a property list", "must be major", "before the library was open",
          "it is listed without an icon", "Audio Unit's resources path is: ",
          "SORVANE_RUN_SECONDS is not a number", "the window could not be written"},
         16 * 1024},
        {"an effect that cannot be made, an output that cannot be opened, a refused session",
         program,
         {{"SORVANE_PLUGIN_PATH", refused},
          {"SORVANE_AUDIO_OUTPUT", "alsa:" + hostile},
          {"SORVANE_AUDIO_SESSION_FAIL", "active," + hostile}},
         {"Could not start audio engine. error: "},
         {"cannot instantiate", "Could not set audio session active", "the window was written to",
          "The app's documents path is: "}},
        {"clips that cannot be opened, and a display that cannot be",
         broken,
         {{"SORVANE_HEADLESS", ""}, {"DISPLAY", ":" + hostile}},
         {"Could not create AVAudioFile instance"},
         {"Running without a window."}},
        {"a take and a screenshot that name one file",
         program,
         {{"SORVANE_AUDIO_OUTPUT", "wav:" + shot}},
         {"name one file"},
         {}},
        {"a take that cannot be put in place, its partial removed",
         program,
         {{"SORVANE_AUDIO_OUTPUT", "wav:" + (takes / ("closed" + hostile + ".wav")).string()}},
         {"Audio engine starting."},
         {"which is no longer there"},
         RLIM_INFINITY,
         [&] { fs::remove(takes / ("closed" + hostile + ".partial.wav")); }},
        {"the lines no run of the application reaches: settings, file helpers, help root, opener, preset, "
         "dialogs",
         printedTexts,
         {},
         {"ignoring unreadable settings file", "is not a valid store name", "PersistentAppData::dumpout()",
          "ensureDirectoryExists() : ERROR", "documents path is: ", "Error Domain=",
          "SORVANE_HELP_ROOT is neither", "AUExtension::ERROR: The preset file '", "could not open ",
          "AUPresetFile::ERROR: The path ", "Die Daten konnten nicht gespeichert werden. (",
          "is an integer, not a dictionary.", "The state could not be restored: ", "the entry is skipped.",
          "HelpViewController: There is no folder of pages at ",
          "documentPicker (didPickDocumentAt): ", "documentPicker (didPickDocumentsAt): ", "Alert: "},
         {},
         RLIM_INFINITY,
         {},
         {(root / "printed").string(), hostile, inRecord}},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.road);
        const fs::path log = scratch.path() / ("log-" + std::to_string(&run - runs));
        std::map<std::string, std::string> variables = {
            {"SORVANE_HEADLESS", "1"},
            {"SORVANE_AUTOPLAY", "1"},
            {"SORVANE_RUN_SECONDS", hostile},
            {"SORVANE_SCREENSHOT", shot},
            {"SORVANE_PLUGIN_PATH", ""},
            {"SORVANE_AUDIO_OUTPUT", "null"},
            {"SORVANE_AUDIO_SESSION_FAIL", ""},
            {"SORVANE_HELP_ROOT", (root / ("help" + hostile)).string() + "/"},
            {"SORVANE_URL_OPENER", root / ("opener" + hostile)},
            {"HOME", home},
            {"XDG_CONFIG_HOME", config},
            {"XDG_DOCUMENTS_DIR", ""},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""}};
        for (const auto& [name, value] : run.variables) variables[name] = value;
        auto app = launchApp(run.program, {variables.begin(), variables.end()}, log, run.fileSizeLimit, "",
                             run.arguments);
        ASSERT_GT(app.pid, 0);
        const auto shows = [&](const std::string& road) {
            return readAll(log).find(road) != std::string::npos;
        };
        std::string awaited = "the lines";
        for (const auto& line : run.until) awaited += " '" + line + "'";
        EXPECT_TRUE(eventually([&] { return std::all_of(run.until.begin(), run.until.end(), shows); }))
            << "waited 60 s for " << awaited;
        if (run.meanwhile) run.meanwhile();
        endedOnceDone(
            app, [] { return true; }, awaited);
        const std::string output = readAll(log);
        for (const auto& roads : {run.until, run.roads})
            for (const auto& road : roads)
                EXPECT_TRUE(shows(road)) << road << "\n" << plat::shownText(output, output.size());
        const auto raw = rawByte(output);
        EXPECT_EQ(raw, std::string::npos) << "raw in: " << plat::shownText(lineAround(output, raw));
        EXPECT_EQ(("\n" + output).find("\n" + marker), std::string::npos) << "a line of its own";
    }
}
