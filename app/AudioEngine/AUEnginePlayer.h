#pragma once
// Loops a randomly drawn demonstration clip through the effect into the audio output.
//
// One serial state queue runs starting, stopping and every edit of the graph, whichever thread asks
// (the main thread for play and stop and for a new clip, the instantiation thread for the effect), so
// the playing flag, the clip and the graph always change together. A clip is decoded on a global
// queue, so a long one keeps neither the window nor a Stop waiting; the start goes on, on the main
// thread, once it is open. The player always holds the pass that plays and the next ones, so passes
// follow each other without a gap; each completion queues one more, on the state queue. What the
// delegate hears arrives on the main queue. Passes that end faster than those queues take them up
// are taken up together, so however short the clip, neither queue nor the console is flooded.

#include "plat/engine.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plat {
class SerialQueue;
}

class AUEnginePlayerDelegate {
public:
    virtual ~AUEnginePlayerDelegate() = default;
    // After playback started (true) or stopped (false), or a start failed (false).
    virtual void onPlayerStateChanged(bool playing) = 0;
    // The path of the clip that was just opened.
    virtual void onFileSelect(const std::string& file) = 0;
    // Completed passes of the current clip before this one.
    virtual void onLoop(long count) = 0;
};

class AUEnginePlayer : public std::enable_shared_from_this<AUEnginePlayer> {
public:
    static constexpr int kClipCount = 80;

    // What the application leaves to its environment; tests and benchmarks choose for themselves.
    struct Configuration {
        // The output SORVANE_AUDIO_OUTPUT names when none is given.
        std::optional<plat::AudioOutputConfiguration> output;
        // The Resources folder of the bundle that holds this class when none is given.
        std::optional<std::filesystem::path> clips;
        // Uniform from 1 to kClipCount when none is given.
        std::function<int()> drawClipNumber;
        // Opens a clip, on a global queue; plat::AVAudioFile::forReading when none is given.
        std::function<plat::Result<std::shared_ptr<plat::AVAudioFile>>(const plat::URL&)> openClip;
    };

    AUEnginePlayer() : AUEnginePlayer(Configuration{}) {}
    explicit AUEnginePlayer(Configuration configuration);
    ~AUEnginePlayer();
    AUEnginePlayer(const AUEnginePlayer&) = delete;
    AUEnginePlayer& operator=(const AUEnginePlayer&) = delete;

    std::shared_ptr<AUEnginePlayerDelegate> delegate;

    void finalize();
    void disconnect();
    // Main thread. Opens the clip off the main thread, then puts it in and calls `then` (on the main
    // thread, also when the clip could not be opened); a start, a stop or another load in between
    // drops both.
    void load(const std::optional<plat::URL>& url, std::function<void()> then = {});
    // A start whose clip is still being opened is not started twice; the delegate hears whether
    // it plays. With no clip to play at all it stays stopped.
    void start();
    // Also drops a start still opening its clip.
    void stop();
    // Whether it plays, or is starting to, afterwards.
    bool toggle();
    void connect(
        std::shared_ptr<plat::AVAudioUnit> avAudioUnit, std::function<void()> completion = [] {});

    // For hosts that pull the graph themselves (manual rendering: tests, benchmarks).
    plat::AVAudioEngine& audioEngine() { return *engine; }

private:
    void randomizeFile(std::function<void()> then);
    void install(const plat::URL& url, plat::Result<std::shared_ptr<plat::AVAudioFile>> opened);
    void setSessionActive(bool active);
    void beginPlaying();
    void startPlayingInternal();
    void queuePasses();
    // False when nothing was scheduled.
    bool scheduleEffectLoop();
    void stopPlayingInternal();
    void resetAudioLoop();
    struct PassTally;
    void onPassesFinished(const std::shared_ptr<PassTally>& tally);

    const plat::AUMIDIOutputEventBlock midiOutBlock;
    std::unique_ptr<plat::AVAudioEngine> engine;
    std::shared_ptr<plat::AVAudioUnit> activeAVAudioUnit;
    std::atomic<bool> isPlaying{false};
    long loopCount = 0; // main thread
    std::shared_ptr<plat::AVAudioPlayerNode> player;
    std::shared_ptr<plat::AVAudioFile> file;
    std::optional<plat::URL> fileURL; // where `file` was, or was to be, read from
    // State queue: the passes of the last (re)start. Passes scheduled before it belong to an older
    // tally and, when the player lets go of them, count for nothing.
    std::shared_ptr<PassTally> passes;
    // Main thread: every start and stop is a new request, and every load; a clip opened for an older
    // one is dropped.
    std::uint64_t requests = 0, loads = 0;
    bool starting = false;
    std::filesystem::path clips;
    std::function<int()> drawClipNumber;
    std::function<plat::Result<std::shared_ptr<plat::AVAudioFile>>(const plat::URL&)> openClip;
    // Last: it finishes its queued work while everything above still exists. Shared with the
    // player's completions, which must not hold the engine player itself: they run on the engine's
    // own thread, which the engine player's end would have to wait for.
    std::shared_ptr<plat::SerialQueue> stateChangeQueue;
};
