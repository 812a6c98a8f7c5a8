#pragma once
// The audio engine: a graph of nodes (file players, audio units, a main mixer, an output) pulled
// by one render thread, the sink's, or by the caller in manual rendering mode.
//
// Graph edits never lock the render thread: every edit compiles an immutable render graph off
// the render thread and publishes it through one atomic pointer; the render thread takes whatever
// graph is current at the start of a cycle, and old graphs are freed once no cycle can still be
// using them. Connections may differ in channel count (the mixer and the player map channels) and
// in rate where a rate is converted: a mixer converts each input to its own output's rate, and a
// player converts each file to its connection's rate, between 1 kHz and 768 kHz (down by a factor
// of 16 at most). Anywhere else a connection runs at the rate of the node it feeds.
//
// Sinks: ALSA, a null sink paced in real time, and a WAV file (also paced in real time), chosen by
// AudioOutputConfiguration; the default engine reads SORVANE_AUDIO_OUTPUT.

#include "plat/audio.h"
#include "plat/audiofile.h"
#include "plat/audiounit.h"
#include "plat/error.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

using AVAudioNodeBus = std::uint32_t;

namespace engine_detail {
struct NodeCore;
struct EngineCore;

// Lets tests stall a WAV output's writer thread as a slow disk would: while the function set here
// answers true, the writer writes nothing out and asks again a millisecond later. It is asked on
// the writer thread only, before each period, with what the ring holds.
struct WavWriterQueue {
    std::size_t waiting;  // periods handed over and not yet written out
    std::size_t capacity; // periods the ring holds
    bool stopping;        // the take is being stopped: the writer is to write out what waits, then end
};
extern std::atomic<bool (*)(const WavWriterQueue&)> wavWriterStalled;
} // namespace engine_detail

// Where the engine's output goes.
struct AudioOutputConfiguration {
    enum class Kind { alsa, null, wav };
    Kind kind = Kind::alsa;
    std::string device = "default";   // ALSA device name
    std::filesystem::path file;       // WAV file of the first take; see AVAudioEngine::start()
    AVAudioFormat format{48000.0, 2}; // what the sink is opened with

    static constexpr const char* kEnvironmentVariable = "SORVANE_AUDIO_OUTPUT";
    // "alsa", "alsa:<device>", "null" or "wav:<path>".
    static Result<AudioOutputConfiguration> parse(std::string_view text);
    // The environment variable's choice; ALSA's default device when it is unset or empty.
    static Result<AudioOutputConfiguration> fromEnvironment();
    // Whether this output would ever make or replace `file`, however spelled: for wav:, any take of
    // the run (the numbered ones too) or the visible file any is written as until it is finished.
    bool wouldWrite(const std::filesystem::path& file) const;
};

class AVAudioNode {
public:
    virtual ~AVAudioNode();
    AVAudioNode(const AVAudioNode&) = delete;
    AVAudioNode& operator=(const AVAudioNode&) = delete;

    std::size_t numberOfInputs() const;
    std::size_t numberOfOutputs() const;
    // The format of the connection on that bus, or the format the node would use unconnected.
    // A node that is not attached, or a bus it does not have, answers a format with no channels.
    AVAudioFormat inputFormat(AVAudioNodeBus bus) const;
    AVAudioFormat outputFormat(AVAudioNodeBus bus) const;
    bool isAttached() const;

    const std::shared_ptr<engine_detail::NodeCore>& core() const { return core_; }

protected:
    explicit AVAudioNode(std::shared_ptr<engine_detail::NodeCore> core);

private:
    std::shared_ptr<engine_detail::NodeCore> core_;
};

// Plays whole files, in the order scheduled. Each file's completion handler is called exactly once,
// on a thread of the engine's own (never the render thread): after its last frame was rendered, or
// when the player is stopped (or detached) before that.
class AVAudioPlayerNode final : public AVAudioNode {
public:
    AVAudioPlayerNode();

    // Fails when the player is not attached, the file is not a decoded reading file, or its sample
    // rate cannot be converted to the player's connection's (the output's while unconnected);
    // nothing is scheduled then and the handler is not called. A file at another rate plays at its
    // own pitch and speed, converted as it is read.
    Result<void> scheduleFile(const std::shared_ptr<AVAudioFile>& file,
                              std::function<void()> completionHandler = {});
    void play();
    // Keeps the place in the scheduled files.
    void pause();
    // Forgets every scheduled file, waits for the render thread to let go of them, and returns once
    // their handlers have run (at once when called from a handler).
    void stop();
    bool isPlaying() const;
};

// Sums its inputs at unity gain (a single input at the output's rate passes bit for bit) into its
// output's channels; an input at another rate is converted to the output's rate first.
class AVAudioMixerNode final : public AVAudioNode {
public:
    struct Token {};
    explicit AVAudioMixerNode(Token);
};

// Its output format is the sink's (or the manual rendering format).
class AVAudioOutputNode final : public AVAudioNode {
public:
    struct Token {};
    explicit AVAudioOutputNode(Token);
};

// A node around an instantiated audio unit. When connected, the unit's input and output buses take
// the connections' formats and its render resources are allocated; it renders through its
// renderBlock(), pulling its input from upstream.
class AVAudioUnit : public AVAudioNode {
public:
    explicit AVAudioUnit(std::shared_ptr<AUAudioUnit> unit);
    const std::shared_ptr<AUAudioUnit>& auAudioUnit() const { return unit_; }

private:
    std::shared_ptr<AUAudioUnit> unit_;
};

class AVAudioEngine {
public:
    // The largest number of frames any node renders in one call; longer cycles are split.
    static constexpr AUAudioFrameCount kMaximumFramesToRender = 4096;

    // Output as SORVANE_AUDIO_OUTPUT says; a malformed value makes start() fail with the reason.
    AVAudioEngine();
    explicit AVAudioEngine(AudioOutputConfiguration output);
    // Stops, deallocates the audio units it holds and detaches every node; players drop their
    // scheduled files without calling their handlers.
    ~AVAudioEngine();
    AVAudioEngine(const AVAudioEngine&) = delete;
    AVAudioEngine& operator=(const AVAudioEngine&) = delete;

    // A node belongs to one engine at a time.
    Result<void> attach(std::shared_ptr<AVAudioNode> node);
    // Takes the node's connections with it; a player is stopped, an audio unit deallocated.
    Result<void> detach(const std::shared_ptr<AVAudioNode>& node);
    // Connects the source's output to the destination's input (the mixer's next free input),
    // replacing what either had there. Without a format the source's output format is used (an audio
    // unit's is the format it is fed). Fails for nodes not attached here, a node without that side,
    // a connection that would close a loop, a format with no channels, and a unit that refuses the
    // format; a connection at a sample rate that is not converted (into a node other than a mixer at
    // another rate, or into a mixer at a rate it cannot convert) is made but stays silent, and its
    // error is returned here and by start().
    Result<void> connect(const std::shared_ptr<AVAudioNode>& from, const std::shared_ptr<AVAudioNode>& to,
                         std::optional<AVAudioFormat> format = std::nullopt);
    void disconnectNodeInput(const std::shared_ptr<AVAudioNode>& node);
    void disconnectNodeOutput(const std::shared_ptr<AVAudioNode>& node);

    // Made with the engine and connected to its output in the output's format.
    std::shared_ptr<AVAudioMixerNode> mainMixerNode() const;
    std::shared_ptr<AVAudioOutputNode> outputNode() const;

    // Compiles the graph and allocates its audio units; start() does it too.
    Result<void> prepare();
    // Opens the sink and starts its render thread. Fails, printing nothing, when the configured output
    // cannot be opened (no such device, no sound card, a file that cannot be written, a target that
    // is not a regular file) or the graph cannot be rendered; the engine then stays stopped.
    // Each start of a WAV output is a take of its own: the first goes to the file named, the n-th to
    // "<name>-<n>.<extension>" beside it (<name> cut short where the whole would pass the limit). A
    // write that fails (a full disk) ends the take with a line: the file keeps what it held, and what
    // was recorded is kept as "<name>.partial.<extension>".
    Result<void> start();
    // Stops the render thread and closes the sink (a WAV file is put in place now).
    void stop();
    // Stops every output of the process still running, as at exit (WAV files are put in place), and
    // answers whether every recording was written whole. A program's exit status reports it.
    static bool finishOutputs();
    // False before start, after stop, and after the sink failed while running.
    bool isRunning() const;

    // Manual rendering: no sink; the caller renders on its own thread. Only while stopped.
    Result<void> enableManualRenderingMode(const AVAudioFormat& format, AUAudioFrameCount maximumFrameCount);
    void disableManualRenderingMode();
    bool isInManualRenderingMode() const;
    // Renders `frames` into `buffer` (the output's format, room enough) and sets its frame length.
    // Needs manual rendering mode and a started engine; one rendering thread at a time.
    Result<void> renderOffline(AUAudioFrameCount frames, AVAudioPCMBuffer& buffer);

private:
    void setUp();
    std::shared_ptr<engine_detail::EngineCore> core_;
};

} // namespace plat
