#pragma once
// Loops a randomly drawn demonstration clip through the effect into the audio output.
//
// One serial state queue runs starting, stopping and every edit of the graph, whichever thread asks
// (the main thread for play and stop and for a new clip, the instantiation thread for the effect), so
// the playing flag, the clip and the graph always change together. The next pass of a clip is
// scheduled from the completion of the one before, on that queue; what the delegate hears arrives on
// the main queue.

#include "plat/engine.h"

#include <atomic>
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
    };

    AUEnginePlayer() : AUEnginePlayer(Configuration{}) {}
    explicit AUEnginePlayer(Configuration configuration);
    ~AUEnginePlayer();
    AUEnginePlayer(const AUEnginePlayer&) = delete;
    AUEnginePlayer& operator=(const AUEnginePlayer&) = delete;

    std::shared_ptr<AUEnginePlayerDelegate> delegate;

    void finalize();
    void disconnect();
    // Main thread.
    void load(const std::optional<plat::URL>& url);
    void start();
    void stop();
    // Whether it plays afterwards.
    bool toggle();
    void connect(
        std::shared_ptr<plat::AVAudioUnit> avAudioUnit, std::function<void()> completion = [] {});

    // For hosts that pull the graph themselves (manual rendering: tests, benchmarks).
    plat::AVAudioEngine& audioEngine() { return *engine; }

private:
    void randomizeFile();
    void setSessionActive(bool active);
    void startPlayingInternal();
    void scheduleEffectLoop();
    void stopPlayingInternal();
    void resetAudioLoop();
    void onPassFinished();

    const plat::AUMIDIOutputEventBlock midiOutBlock;
    std::unique_ptr<plat::AVAudioEngine> engine;
    std::shared_ptr<plat::AVAudioUnit> activeAVAudioUnit;
    std::atomic<bool> isPlaying{false};
    long loopCount = 0; // main thread
    std::shared_ptr<plat::AVAudioPlayerNode> player;
    std::shared_ptr<plat::AVAudioFile> file;
    std::optional<plat::URL> fileURL; // always where `file` came from
    std::filesystem::path clips;
    std::function<int()> drawClipNumber;
    // Last: it finishes its queued work while everything above still exists. Shared with the
    // player's completions, which must not hold the engine player itself: they run on the engine's
    // own thread, which the engine player's end would have to wait for.
    std::shared_ptr<plat::SerialQueue> stateChangeQueue;
};
