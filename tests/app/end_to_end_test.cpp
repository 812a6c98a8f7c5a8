// The application program itself, headless: installed under a prefix, it finds the plug-in through
// its record, embeds it and plays through it (into a WAV file); a bundle without the plug-in plays
// its clips dry (into a WAV file on a disk that fills up).
#include "AppTestSupport.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

struct Run {
    int status = -1;
    std::string output;
};

std::string readAll(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Runs the program headless for three seconds, playing into `output`, with a screenshot to `shot`
// unless it is empty, and its standard output in "log" beside its folder. A file-size limit makes its
// writes beyond that size fail as on a full disk.
Run run(const fs::path& program, const std::string& output, const fs::path& shot,
        rlim_t fileSizeLimit = RLIM_INFINITY) {
    const fs::path log = program.parent_path().parent_path() / "log";
    const std::vector<std::pair<std::string, std::string>> variables{{"SORVANE_HEADLESS", "1"},
                                                                     {"SORVANE_AUDIO_OUTPUT", output},
                                                                     {"SORVANE_RUN_SECONDS", "3"},
                                                                     {"SORVANE_AUTOPLAY", "1"},
                                                                     {"SORVANE_SCREENSHOT", shot},
                                                                     {"SORVANE_PLUGIN_PATH", ""},
                                                                     {"DISPLAY", ""}};
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
    Run result;
    const pid_t pid = ::fork(); // the child only makes async-signal-safe calls

    if (pid == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG instead
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    if (pid > 0) ::waitpid(pid, &result.status, 0);
    result.output = readAll(log);
    return result;
}

} // namespace

TEST(Application, InstalledItFindsTheEffectByItsRecordAndPlaysThroughIt) {
    ScratchFolder prefix;
    ASSERT_EQ(std::system((std::string(CMAKE_COMMAND) + " --install " + std::getenv("SORVANE_BINARY_DIR") +
                           " --prefix " + prefix.path().string() + " > /dev/null")
                              .c_str()),
              0);
    const fs::path app = prefix.path() / "YUX_Sorvane.app", sound = prefix.path() / "sound.wav";
    const auto started = run(app / "bin/YUX_Sorvane", "wav:" + sound.string(), prefix.path() / "shot.png");
    EXPECT_EQ(started.status, 0);
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
    // although the application ended with its engine running.
    EXPECT_GT(readPng(prefix.path() / "shot.png").colours(0, 60, 1024, 768), 100u);
    const auto written = plat::AVAudioFile::forReading(plat::URL::fileURL(sound));
    ASSERT_TRUE(written.ok());
    const auto& left = written.value()->samples()->channels[0];
    EXPECT_GT(*std::max_element(left.begin(), left.end()), 0.01f);
}

// Also: a recording that meets a full disk leaves the file it was to replace as it was, keeps what
// it has under the name its line gives, and fails the run; so does a screenshot that cannot be
// written (a pipe is not replaced by a file).
TEST(Application, WithoutThePlugInItPlaysItsClipsDry) {
    ScratchFolder bundle;
    const fs::path built = SORVANE_APP_DIR, sound = bundle.path() / "sound.wav";
    fs::create_directories(bundle.path() / "bin");
    fs::copy_file(built / "bin/YUX_Sorvane", bundle.path() / "bin/YUX_Sorvane");
    for (const char* part : {"lib", "Resources", "Info.plist"})
        fs::create_symlink(built / part, bundle.path() / part);
    writeText(sound, "the previous take");
    const fs::path pipe = bundle.path() / "shot.png";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const auto shot = run(bundle.path() / "bin/YUX_Sorvane", "null", pipe);
    EXPECT_TRUE(WIFEXITED(shot.status) && WEXITSTATUS(shot.status) == 1 && fs::is_fifo(pipe)) << shot.output;
    const auto started = run(bundle.path() / "bin/YUX_Sorvane", "wav:" + sound.string(), "", 128 * 1024);
    EXPECT_TRUE(WIFEXITED(started.status) && WEXITSTATUS(started.status) == 1) << started.status;
    std::string missing;
    EXPECT_TRUE(linesInOrder(started.output,
                             {"ERROR: There were no audio units found.",
                              "AUEnginePlayer: The player was connected to the mainMixerNode.",
                              "AUEnginePlayer: Audio engine starting.",
                              "AVAudioEngine::ERROR: The audio output stopped: The file '" + sound.string() +
                                  "' cannot be written: *"},
                             missing))
        << missing << "\n"
        << started.output;
    EXPECT_EQ(started.output.find("ViewController: Loading the audio unit's interface..."),
              std::string::npos);
    EXPECT_TRUE(readAll(sound) == "the previous take") << "the file the take was to replace is kept";
    const fs::path partial = bundle.path() / "sound.partial.wav";
    EXPECT_NE(started.output.find("kept in '" + partial.string() + "'"), std::string::npos);
    const auto kept = plat::AVAudioFile::forReading(plat::URL::fileURL(partial));
    ASSERT_TRUE(kept.ok());
    EXPECT_GT(kept.value()->length(), 4800);
}
