// The application program itself, headless: installed under a prefix, it finds the plug-in through
// its record, embeds it and plays through it (into a WAV file); a bundle without the plug-in plays
// its clips dry (into the null output).
#include "AppTestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

struct Run {
    int status = -1;
    std::string output;
};

// Runs the program with these variables added to (or, when empty, taken from) the environment.
Run run(const fs::path& program, const std::vector<std::pair<std::string, std::string>>& variables,
        const fs::path& log) {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(variables.begin(), variables.end(),
                                          [&](const auto& v) { return entry.starts_with(v.first + "="); });
        if (!replaced) environment.push_back(entry);
    }
    for (const auto& [name, value] : variables)
        if (!value.empty()) environment.push_back(name + "=" + value);
    std::vector<char*> envp, argv{const_cast<char*>(program.c_str()), nullptr};
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    Run result;
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), envp.data()) == 0)
        waitpid(pid, &result.status, 0);
    posix_spawn_file_actions_destroy(&files);
    std::ostringstream text;
    text << std::ifstream(log).rdbuf();
    result.output = text.str();
    return result;
}

std::vector<std::pair<std::string, std::string>> headless(const fs::path& shot,
                                                          const std::string& output = "null") {
    return {{"SORVANE_HEADLESS", "1"},
            {"SORVANE_AUDIO_OUTPUT", output},
            {"SORVANE_RUN_SECONDS", "3"},
            {"SORVANE_AUTOPLAY", "1"},
            {"SORVANE_SCREENSHOT", shot},
            {"SORVANE_PLUGIN_PATH", ""},
            {"DISPLAY", ""}};
}

} // namespace

TEST(Application, InstalledItFindsTheEffectByItsRecordAndPlaysThroughIt) {
    ScratchFolder prefix;
    ASSERT_EQ(std::system((std::string(CMAKE_COMMAND) + " --install " + std::getenv("SORVANE_BINARY_DIR") +
                           " --prefix " + prefix.path().string() + " > /dev/null")
                              .c_str()),
              0);
    const fs::path app = prefix.path() / "YUX_Sorvane.app";
    const fs::path sound = prefix.path() / "sound.wav";
    const auto started =
        run(app / "bin/YUX_Sorvane", headless(prefix.path() / "shot.png", "wav:" + sound.string()),
            prefix.path() / "log");
    EXPECT_EQ(started.status, 0);
    std::string missing;
    EXPECT_TRUE(
        linesInOrder(started.output,
                     {"Info: Main view controller loaded.",
                      "NOTE: WE ARE IN AUDIO UNIT RELEASE MODE. ENSURE THE STORYBOARD CONNECTIONS ARE VALID!",
                      "AUExtensionManager: Loaded component has following properties.",
                      "",
                      "Process Name: YUX_Sorvane PID: *",
                      "",
                      "AUExtension (",
                      "type: aumf",
                      "subtype: yuSV",
                      "manufacturer: KWOB",
                      "flags: 0x00000002",
                      ")",
                      "AUExtensionManager: Audio unit was found, making connections now ...",
                      "AUEnginePlayer: A new audio unit will be connected.",
                      "AUEnginePlayer: The audio unit reports MIDI output names. Assigning a handling block.",
                      "AUEnginePlayer: Audio unit was attached.",
                      "AUEnginePlayer::ERROR: There was a problem with the file processing format or the "
                      "file is nil (yet).",
                      "AUExtensionManager: Performed audio unit connection.",
                      "ViewController: Loading the audio unit's interface...",
                      "WARNING: Audio unit is nil (yet?).",
                      "AUEnginePlayer: Audio unit re-connectingto the main mixer.",
                      "AUEnginePlayer: Audio session was set active.",
                      "AUEnginePlayer: Audio engine starting."},
                     missing))
        << missing << "\n"
        << started.output;
    EXPECT_TRUE(linesInOrder(started.output,
                             {"ViewController: The app's resources path is: " + (app / "Resources").string()},
                             missing));
    // The panel shows in the container below the bar, and what played is in the file, put in place
    // although the application ended with its engine running.
    EXPECT_GT(readPng(prefix.path() / "shot.png").colours(0, 60, 1024, 768), 100u);
    const auto written = plat::AVAudioFile::forReading(plat::URL::fileURL(sound));
    ASSERT_TRUE(written.ok());
    const auto& left = written.value()->samples()->channels[0];
    EXPECT_GT(*std::max_element(left.begin(), left.end()), 0.01f);
}

TEST(Application, WithoutThePlugInItPlaysItsClipsDry) {
    ScratchFolder bundle;
    const fs::path built = SORVANE_APP_DIR;
    fs::create_directories(bundle.path() / "bin");
    fs::copy_file(built / "bin/YUX_Sorvane", bundle.path() / "bin/YUX_Sorvane");
    for (const char* part : {"lib", "Resources", "Info.plist"})
        fs::create_symlink(built / part, bundle.path() / part);
    const auto started =
        run(bundle.path() / "bin/YUX_Sorvane", headless(bundle.path() / "shot.png"), bundle.path() / "log");
    EXPECT_EQ(started.status, 0);
    std::string missing;
    EXPECT_TRUE(
        linesInOrder(started.output,
                     {"NOTE: WE ARE IN AUDIO UNIT RELEASE MODE. ENSURE THE STORYBOARD CONNECTIONS ARE VALID!",
                      "ERROR: There were no audio units found.",
                      "AUEnginePlayer: The player was connected to the mainMixerNode.",
                      "AUEnginePlayer: Audio engine starting."},
                     missing))
        << missing << "\n"
        << started.output;
    EXPECT_EQ(started.output.find("ViewController: Loading the audio unit's interface..."),
              std::string::npos);
}
