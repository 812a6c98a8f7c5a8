#pragma once
// The engine's insides, shared by the node classes, the render graph and the sinks.
//
// Threads: editors (any thread, serialised by EngineCore::mutex), the render thread (the sink's or
// the manual renderer's; it takes no lock), and the engine's completion thread.

#include "plat/engine.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace plat::engine_detail {

class RateConverter;

enum class NodeKind { player, unit, mixer, output };

// One scheduled file.
struct Segment {
    Segment* next = nullptr;
    std::shared_ptr<const AVAudioFile::Samples> samples;
    std::function<void()> completion;
    AVAudioFramePosition position = 0;
};

// Any thread pushes; one consumer takes everything at once, so there is no pop to suffer ABA.
class SegmentStack {
public:
    void push(Segment* segment);
    // Oldest first.
    Segment* takeAll();

private:
    std::atomic<Segment*> head_{nullptr};
};

// What a player node shares with the render thread. Scheduled files reach the render thread through
// `inbox`; finished (or flushed) ones leave through `done` for the completion thread. While
// `flushing` is set the render thread leaves the queue alone, so a stopper can empty it.
struct PlayerState {
    PlayerState();
    SegmentStack inbox;
    SegmentStack done;
    Segment* head = nullptr; // the render thread's queue
    Segment* tail = nullptr;
    std::atomic<bool> playing{false};
    std::atomic<bool> flushing{false};
    std::atomic<long> pending{0}; // scheduled segments whose handlers have not run
    // Segments handed to `done`, and those whose handlers have run, since the player was made.
    std::atomic<std::uint64_t> finished{0}, delivered{0};
    std::mutex control; // serialises stoppers; never taken by the render thread

    ~PlayerState();
    // Render thread: `frames` at `rate`, the rate of the player's connection. A file at another rate
    // is converted to it.
    void render(AUAudioFrameCount frames, AudioBufferList& out, std::uint32_t channels, double rate);
    // Render thread: the queued files at `rate` from the head on, as they are, up to the first file
    // at another rate.
    AUAudioFrameCount renderQueued(AUAudioFrameCount frames, const AudioBufferList& out,
                                   std::uint32_t channels, double rate);
    // With `flushing` set and no render cycle running: every queued segment moves to `done`.
    // Returns how many segments have been handed to `done` so far.
    std::uint64_t flushQueued();
    // Frees every segment without calling handlers.
    void discardAll();

    // The render thread's converter for files at another rate than the connection's, and the rate
    // of the run of files it converts (while it still holds frames of them, or 0).
    std::unique_ptr<RateConverter> converter;
    double convertingFrom = 0;
    // Silent source frames the converter read after the run's last frame.
    AUAudioFrameCount silenceRead = 0;
    // How far before the next output frame, in output frames, the next run of files begins.
    double carry = 0;

private:
    AUAudioFrameCount renderRuns(AUAudioFrameCount frames, const AudioBufferList& out, std::uint32_t channels,
                                 double rate);
    void finishHead();
    void forgetRun();
};

struct UnitSetup {
    std::optional<AVAudioFormat> input, output;
    bool allocated = false;
    std::optional<Error> error;
    AURenderBlock block;
};

struct NodeCore {
    explicit NodeCore(NodeKind k) : kind(k) {}
    const NodeKind kind;

    std::shared_ptr<EngineCore> attachedEngine() const;
    // False when the node already belongs to a live engine.
    bool claim(const std::shared_ptr<EngineCore>& engine);
    void release();

    std::shared_ptr<PlayerState> player; // players
    std::shared_ptr<AUAudioUnit> unit;   // units
    UnitSetup setup;                     // units; guarded by the engine's mutex

private:
    mutable std::mutex linkMutex_;
    std::weak_ptr<EngineCore> engine_;
};

// Delivers completion handlers on a thread of its own. The render thread cannot signal without a
// system call, so while any handler is outstanding the thread polls.
class CompletionService {
public:
    CompletionService();
    ~CompletionService();
    void add(const std::shared_ptr<PlayerState>& player);
    // Delivers what the player still has, then forgets it.
    void retire(const std::shared_ptr<PlayerState>& player);
    void notify();
    // Returns once the handlers of the player's first `finished` segments have run (at once on the
    // delivering thread itself, and once the service shuts down).
    void awaitDelivery(const PlayerState& player, std::uint64_t finished);
    void shutdown();

private:
    void run();
    struct Entry {
        std::shared_ptr<PlayerState> player;
        bool retiring = false;
    };
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable delivered_;
    std::vector<Entry> players_;
    bool stopping_ = false;
    std::thread thread_;
    std::thread::id threadId_; // thread_'s, readable while another thread joins it
};

struct Connection {
    NodeCore* from;
    NodeCore* to;
    AVAudioNodeBus toBus;
    AVAudioFormat format;
};

struct RenderGraph;

class Sink {
public:
    virtual ~Sink() = default;
    // Opens the output and starts the render thread, which calls core.renderCycle().
    virtual Result<void> start(EngineCore& core) = 0;
    // Stops the render thread and closes the output.
    virtual void stop() = 0;
    std::atomic<bool> failed{false};
};
// `take` counts the engine's starts with this output, from 1.
Result<std::unique_ptr<Sink>> makeSink(const AudioOutputConfiguration& configuration, unsigned take);
// An output configuration that failed as a recording (a WAV output without its file) fails the run,
// as a recording that stops midway does.
void outputCouldNotStart(const Error& error);

struct EngineCore {
    static constexpr AVAudioNodeBus kMixerInputs = 64;

    explicit EngineCore(Result<AudioOutputConfiguration> configuration);

    // ---- render thread -------------------------------------------------------------------------
    // Renders `frames` of the current graph into `out` (the output's format).
    void renderCycle(AUAudioFrameCount frames, const AudioBufferList& out);
    // Editors: returns once no render cycle that began before the call is still running.
    void quiesce() const;

    // ---- editors, with `mutex` held -------------------------------------------------------------
    bool isAttached(const NodeCore* node) const;
    const Connection* connectionInto(const NodeCore* node, AVAudioNodeBus bus) const;
    const Connection* connectionFrom(const NodeCore* node) const;
    AVAudioFormat outputFormatOf(const NodeCore& node, AVAudioNodeBus bus) const;
    AVAudioFormat inputFormatOf(const NodeCore& node, AVAudioNodeBus bus) const;
    // Sets the audio units up for their connections and publishes a new render graph. Returns the
    // first problem that keeps part of the graph silent.
    Result<void> rebuild();
    void publish(std::unique_ptr<RenderGraph> graph);
    void reclaim();
    void shutdown();

    mutable std::mutex mutex;
    Result<AudioOutputConfiguration> configuration;
    AVAudioFormat outputFormat;
    std::vector<std::shared_ptr<AVAudioNode>> nodes;
    std::vector<Connection> connections;
    std::shared_ptr<AVAudioMixerNode> mixer;
    std::shared_ptr<AVAudioOutputNode> output;
    std::unique_ptr<Sink> sink;
    std::optional<Error> graphError;
    bool manual = false;
    unsigned takes = 0; // sinks started
    CompletionService completions;

    // Read by the manual renderer without the mutex.
    std::atomic<bool> running{false};
    std::atomic<AUAudioFrameCount> manualMaximumFrames{0};
    std::atomic<bool> offlineBusy{false};

private:
    void configureUnit(NodeCore& node, const AVAudioFormat& input, const AVAudioFormat& output);

    std::unique_ptr<RenderGraph> published_;
    std::vector<std::pair<std::unique_ptr<RenderGraph>, std::uint64_t>> retired_;
    std::atomic<RenderGraph*> current_{nullptr};
    std::atomic<std::uint64_t> cycle_{0}; // odd while a render cycle runs
    double sampleTime_ = 0;               // render thread

public:
    void resetSampleTime() { sampleTime_ = 0; }
};

} // namespace plat::engine_detail
