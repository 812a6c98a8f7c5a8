#include "EngineCore.h"
#include "RateConverter.h"
#include "RenderGraph.h"

#include "plat/console.h"
#include "plat/denormals.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace plat {

using namespace engine_detail;

namespace {

Error engineError(OSStatus code, std::string description) {
    return Error{kOSStatusErrorDomain, code, std::move(description)};
}

std::string describe(const AVAudioFormat& format) {
    return std::to_string(format.channelCount()) + " channels at " + sampleRateText(format.sampleRate()) +
           " Hz";
}

bool usable(const AVAudioFormat& format) {
    return format.channelCount() > 0 && format.channelCount() <= AudioBufferList::kCapacity &&
           format.sampleRate() > 0;
}

const AVAudioFormat kNoFormat(0, 0);

} // namespace

// ---- engine core -------------------------------------------------------------------------------

namespace engine_detail {

EngineCore::EngineCore(Result<AudioOutputConfiguration> c)
    : configuration(std::move(c)),
      outputFormat(configuration.ok() ? configuration->format : AudioOutputConfiguration().format) {}

void EngineCore::renderCycle(AUAudioFrameCount frames, const AudioBufferList& out) {
    const RealtimeScope realtime;
    const DenormalsFlushScope flushDenormals;
    for (AUAudioFrameCount done = 0; done < frames;) {
        const AUAudioFrameCount n = std::min(frames - done, AVAudioEngine::kMaximumFramesToRender);
        cycle_.fetch_add(1, std::memory_order_seq_cst);
        RenderGraph* graph = current_.load(std::memory_order_seq_cst);
        AudioTimeStamp timestamp;
        timestamp.mSampleTime = sampleTime_;
        timestamp.mFlags = kAudioTimeStampSampleTimeValid;
        if (graph && graph->root) {
            const AudioBufferList& rendered = graph->render(*graph->root, n, timestamp);
            mapChannels(rendered, graph->root->format.channelCount(), out, out.mNumberBuffers, n, done,
                        false);
        } else {
            AudioBufferList none;
            mapChannels(none, 0, out, out.mNumberBuffers, n, done, false);
        }
        cycle_.fetch_add(1, std::memory_order_seq_cst);
        sampleTime_ += n;
        done += n;
    }
}

// The counter is odd while a cycle runs. Everything here is sequentially consistent, so an editor
// that published a graph and then reads the counter either sees no cycle running, or waits for the
// one it sees: only that one can have taken the old graph.
void EngineCore::quiesce() const {
    const std::uint64_t seen = cycle_.load(std::memory_order_seq_cst);
    if (seen % 2 == 0) return;
    while (cycle_.load(std::memory_order_seq_cst) == seen)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
}

bool EngineCore::isAttached(const NodeCore* node) const {
    return std::any_of(nodes.begin(), nodes.end(), [node](auto& n) { return n->core().get() == node; });
}

const Connection* EngineCore::connectionInto(const NodeCore* node, AVAudioNodeBus bus) const {
    for (const auto& c : connections)
        if (c.to == node && c.toBus == bus) return &c;
    return nullptr;
}

const Connection* EngineCore::connectionFrom(const NodeCore* node) const {
    for (const auto& c : connections)
        if (c.from == node) return &c;
    return nullptr;
}

AVAudioFormat EngineCore::outputFormatOf(const NodeCore& node, AVAudioNodeBus bus) const {
    if (bus != 0) return kNoFormat;
    if (node.kind == NodeKind::output) return outputFormat;
    if (const Connection* c = connectionFrom(&node)) return c->format;
    if (node.kind != NodeKind::unit) return outputFormat;
    if (node.setup.output) return *node.setup.output;
    const auto outBus = node.unit->outputBusses()[0];
    return outBus ? outBus->format() : kNoFormat;
}

AVAudioFormat EngineCore::inputFormatOf(const NodeCore& node, AVAudioNodeBus bus) const {
    if (const Connection* c = connectionInto(&node, bus)) return c->format;
    switch (node.kind) {
    case NodeKind::player:
        return kNoFormat;
    case NodeKind::mixer:
        return bus < kMixerInputs ? outputFormat : kNoFormat;
    case NodeKind::output:
        return bus == 0 ? outputFormat : kNoFormat;
    case NodeKind::unit:
        break;
    }
    if (bus == 0 && node.setup.input) return *node.setup.input;
    const auto inBus = node.unit->inputBusses()[bus];
    return inBus ? inBus->format() : kNoFormat;
}

void EngineCore::configureUnit(NodeCore& node, const AVAudioFormat& input, const AVAudioFormat& output) {
    AUAudioUnit& unit = *node.unit;
    if (unit.renderResourcesAllocated()) unit.deallocateRenderResources();
    node.setup = UnitSetup{input, output, false, std::nullopt, {}};
    auto fail = [&](OSStatus code, const std::string& why) {
        node.setup.error = engineError(code, "The audio unit cannot render " + describe(input) + " into " +
                                                 describe(output) + ": " + why);
    };
    Error refused;
    const auto inBus = unit.inputBusses()[0];
    const auto outBus = unit.outputBusses()[0];
    if (!outBus) return fail(kAudioUnitErr_InvalidElement, "it has no output.");
    if (inBus && !inBus->setFormat(input, &refused))
        return fail(kAudioUnitErr_FormatNotSupported, refused.description);
    if (!outBus->setFormat(output, &refused))
        return fail(kAudioUnitErr_FormatNotSupported, refused.description);
    unit.setMaximumFramesToRender(AVAudioEngine::kMaximumFramesToRender);
    if (auto allocated = unit.allocateRenderResources(); !allocated.ok())
        return fail(OSStatus(allocated.error().code), allocated.error().description);
    node.setup.allocated = true;
    node.setup.block = unit.renderBlock();
}

Result<void> EngineCore::rebuild() {
    struct Change {
        NodeCore* node;
        AVAudioFormat input, output;
    };
    std::vector<Change> changes;
    bool rendered = false;
    for (const auto& n : nodes) {
        NodeCore& unit = *n->core();
        if (unit.kind != NodeKind::unit) continue;
        const Connection* in = connectionInto(&unit, 0);
        const Connection* out = connectionFrom(&unit);
        if (!in && !out) continue;
        // A side without a connection keeps its format; an effect renders what it is fed.
        std::optional<AVAudioFormat> input = in ? in->format : unit.setup.input;
        std::optional<AVAudioFormat> output = out ? out->format : unit.setup.output;
        if (!input) input = output;
        if (!output) output = input;
        if (unit.setup.allocated && unit.setup.input == input && unit.setup.output == output) continue;
        changes.push_back({&unit, *input, *output});
        if (published_ && std::find(published_->units.begin(), published_->units.end(), unit.unit) !=
                              published_->units.end())
            rendered = true;
    }
    std::optional<Error> unitProblem;
    if (!changes.empty()) {
        if (rendered) {
            // A unit is reallocated only once no render cycle can be inside it.
            std::vector<const NodeCore*> excluded;
            for (const auto& c : changes) excluded.push_back(c.node);
            std::optional<Error> ignored;
            publish(compileGraph(*this, excluded, ignored));
            quiesce();
        }
        for (const auto& c : changes) {
            configureUnit(*c.node, c.input, c.output);
            if (c.node->setup.error && !unitProblem) unitProblem = c.node->setup.error;
        }
    }
    std::optional<Error> problem;
    publish(compileGraph(*this, {}, problem));
    graphError = problem;
    if (unitProblem) return *unitProblem;
    if (problem) return *problem;
    return {};
}

void EngineCore::publish(std::unique_ptr<RenderGraph> graph) {
    current_.exchange(graph.get(), std::memory_order_seq_cst);
    if (published_) retired_.emplace_back(std::move(published_), cycle_.load(std::memory_order_seq_cst));
    published_ = std::move(graph);
    reclaim();
}

void EngineCore::reclaim() {
    // A graph retired while cycle n (odd) ran is free once the counter has moved on.
    const std::uint64_t now = cycle_.load(std::memory_order_seq_cst);
    std::erase_if(retired_, [now](const auto& r) { return r.second % 2 == 0 || r.second != now; });
}

void EngineCore::shutdown() {
    completions.shutdown();
    std::lock_guard<std::mutex> lock(mutex);
    if (sink) sink->stop();
    sink.reset();
    running = false;
    publish(nullptr);
    quiesce();
    reclaim();
    for (const auto& n : nodes) {
        NodeCore& node = *n->core();
        if (node.kind == NodeKind::unit && node.setup.allocated) node.unit->deallocateRenderResources();
        if (node.player) {
            node.player->playing = false;
            node.player->discardAll();
        }
        node.release();
    }
    connections.clear();
    nodes.clear();
}

} // namespace engine_detail

// ---- nodes -------------------------------------------------------------------------------------

AVAudioNode::AVAudioNode(std::shared_ptr<NodeCore> core) : core_(std::move(core)) {}

AVAudioNode::~AVAudioNode() = default;

std::size_t AVAudioNode::numberOfInputs() const {
    switch (core_->kind) {
    case NodeKind::player:
        return 0;
    case NodeKind::mixer:
        return EngineCore::kMixerInputs;
    case NodeKind::output:
        return 1;
    case NodeKind::unit:
        break;
    }
    return core_->unit ? core_->unit->inputBusses().count() : 0;
}

std::size_t AVAudioNode::numberOfOutputs() const {
    if (core_->kind != NodeKind::unit) return 1;
    return core_->unit ? core_->unit->outputBusses().count() : 0;
}

AVAudioFormat AVAudioNode::inputFormat(AVAudioNodeBus bus) const {
    const auto engine = core_->attachedEngine();
    if (!engine) return kNoFormat;
    std::lock_guard<std::mutex> lock(engine->mutex);
    return engine->inputFormatOf(*core_, bus);
}

AVAudioFormat AVAudioNode::outputFormat(AVAudioNodeBus bus) const {
    const auto engine = core_->attachedEngine();
    if (!engine) return kNoFormat;
    std::lock_guard<std::mutex> lock(engine->mutex);
    return engine->outputFormatOf(*core_, bus);
}

bool AVAudioNode::isAttached() const {
    return core_->attachedEngine() != nullptr;
}

namespace {
std::shared_ptr<NodeCore> makeCore(NodeKind kind) {
    auto core = std::make_shared<NodeCore>(kind);
    if (kind == NodeKind::player) core->player = std::make_shared<PlayerState>();
    return core;
}
std::shared_ptr<NodeCore> makeUnitCore(std::shared_ptr<AUAudioUnit> unit) {
    auto core = makeCore(NodeKind::unit);
    core->unit = std::move(unit);
    return core;
}
} // namespace

AVAudioPlayerNode::AVAudioPlayerNode() : AVAudioNode(makeCore(NodeKind::player)) {}

Result<void> AVAudioPlayerNode::scheduleFile(const std::shared_ptr<AVAudioFile>& file,
                                             std::function<void()> completionHandler) {
    const auto engine = core()->attachedEngine();
    if (!engine) return engineError(kAudioUnitErr_Uninitialized, "The player is not attached to an engine.");
    if (!file || !file->samples())
        return engineError(kAudioUnitErr_InvalidPropertyValue,
                           "Only files opened for reading can be scheduled.");
    double rate;
    {
        // The player converts a file to the rate of its connection (the output's while unconnected).
        std::lock_guard<std::mutex> lock(engine->mutex);
        const Connection* out = engine->connectionFrom(core().get());
        rate = out ? out->format.sampleRate() : engine->outputFormat.sampleRate();
    }
    const double fileRate = file->processingFormat().sampleRate();
    if (fileRate != rate && !RateConverter::convertible(fileRate, rate))
        return engineError(kAudioUnitErr_FormatNotSupported,
                           "The file '" + file->url().path() + "' holds " +
                               describe(file->processingFormat()) + " but the player runs at " +
                               sampleRateText(rate) + " Hz; rates are converted only " +
                               RateConverter::kRatesText + ".");
    PlayerState& player = *core()->player;
    player.pending.fetch_add(1);
    player.inbox.push(new Segment{nullptr, file->samples(), std::move(completionHandler), 0});
    engine->completions.notify();
    return {};
}

void AVAudioPlayerNode::play() {
    core()->player->playing.store(true);
}

void AVAudioPlayerNode::pause() {
    core()->player->playing.store(false);
}

void AVAudioPlayerNode::stop() {
    PlayerState& player = *core()->player;
    const auto engine = core()->attachedEngine();
    std::uint64_t dropped;
    {
        std::lock_guard<std::mutex> lock(player.control);
        player.playing.store(false);
        player.flushing.store(true, std::memory_order_seq_cst);
        if (engine) engine->quiesce();
        dropped = player.flushQueued();
        player.flushing.store(false, std::memory_order_seq_cst);
    }
    if (!engine) return;
    // What the handlers do (schedule more, count a pass) is done when stop returns, so a caller
    // that starts again cannot meet a handler of the files it stopped.
    engine->completions.notify();
    engine->completions.awaitDelivery(player, dropped);
}

bool AVAudioPlayerNode::isPlaying() const {
    return core()->player->playing.load();
}

AVAudioMixerNode::AVAudioMixerNode(Token) : AVAudioNode(makeCore(NodeKind::mixer)) {}

AVAudioOutputNode::AVAudioOutputNode(Token) : AVAudioNode(makeCore(NodeKind::output)) {}

AVAudioUnit::AVAudioUnit(std::shared_ptr<AUAudioUnit> unit)
    : AVAudioNode(makeUnitCore(unit)), unit_(std::move(unit)) {}

// ---- engine ------------------------------------------------------------------------------------

AVAudioEngine::AVAudioEngine()
    : core_(std::make_shared<EngineCore>(AudioOutputConfiguration::fromEnvironment())) {
    setUp();
}

AVAudioEngine::AVAudioEngine(AudioOutputConfiguration output)
    : core_(std::make_shared<EngineCore>(std::move(output))) {
    setUp();
}

void AVAudioEngine::setUp() {
    core_->mixer = std::make_shared<AVAudioMixerNode>(AVAudioMixerNode::Token{});
    core_->output = std::make_shared<AVAudioOutputNode>(AVAudioOutputNode::Token{});
    attach(core_->mixer);
    attach(core_->output);
    connect(core_->mixer, core_->output, core_->outputFormat);
}

AVAudioEngine::~AVAudioEngine() {
    core_->shutdown();
}

Result<void> AVAudioEngine::attach(std::shared_ptr<AVAudioNode> node) {
    if (!node) return engineError(kAudioUnitErr_InvalidPropertyValue, "There is no node to attach.");
    std::lock_guard<std::mutex> lock(core_->mutex);
    NodeCore& core = *node->core();
    if (core.kind == NodeKind::unit && !core.unit)
        return engineError(kAudioUnitErr_Uninitialized, "The audio-unit node holds no audio unit.");
    if (!core.claim(core_))
        return engineError(kAudioUnitErr_InvalidPropertyValue, "The node is already attached.");
    if (core.player) core_->completions.add(core.player);
    core_->nodes.push_back(std::move(node));
    return {};
}

Result<void> AVAudioEngine::detach(const std::shared_ptr<AVAudioNode>& node) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (!node || !core_->isAttached(node->core().get()))
        return engineError(kAudioUnitErr_InvalidPropertyValue, "The node is not attached to this engine.");
    NodeCore& core = *node->core();
    if (core.kind == NodeKind::mixer || core.kind == NodeKind::output)
        return engineError(kAudioUnitErr_InvalidPropertyValue,
                           "The engine's own mixer and output stay attached.");
    std::erase_if(core_->connections, [&](const Connection& c) { return c.from == &core || c.to == &core; });
    const auto rebuilt = core_->rebuild();
    core_->quiesce();
    if (core.kind == NodeKind::unit && core.setup.allocated) core.unit->deallocateRenderResources();
    core.setup = {};
    if (core.player) {
        std::lock_guard<std::mutex> control(core.player->control);
        core.player->playing = false;
        core.player->flushQueued();
        core_->completions.retire(core.player);
    }
    core.release();
    std::erase_if(core_->nodes, [&](const auto& n) { return n.get() == node.get(); });
    core_->reclaim();
    return {};
}

Result<void> AVAudioEngine::connect(const std::shared_ptr<AVAudioNode>& from,
                                    const std::shared_ptr<AVAudioNode>& to,
                                    std::optional<AVAudioFormat> format) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (!from || !to || !core_->isAttached(from->core().get()) || !core_->isAttached(to->core().get()))
        return engineError(kAudioUnitErr_InvalidPropertyValue, "Both nodes must be attached to this engine.");
    NodeCore* source = from->core().get();
    NodeCore* destination = to->core().get();
    if (source->kind == NodeKind::output || to->numberOfInputs() == 0 || from->numberOfOutputs() == 0)
        return engineError(kAudioUnitErr_InvalidElement,
                           "The output node feeds nothing and a player takes no input.");
    // Following outputs from the destination must not lead back to the source.
    for (const NodeCore* n = destination; n;) {
        if (n == source)
            return engineError(kAudioUnitErr_InvalidElement, "The connection would close a loop.");
        const Connection* next = core_->connectionFrom(n);
        n = next ? next->to : nullptr;
    }
    if (!format) {
        const Connection* fed = source->kind == NodeKind::unit ? core_->connectionInto(source, 0) : nullptr;
        format = fed ? fed->format : core_->outputFormatOf(*source, 0);
    }
    if (!usable(*format))
        return engineError(kAudioUnitErr_FormatNotSupported,
                           "A connection cannot carry " + describe(*format) + ".");
    AVAudioNodeBus bus = 0;
    if (destination->kind == NodeKind::mixer) {
        const Connection* existing = core_->connectionFrom(source);
        if (existing && existing->to == destination) {
            bus = existing->toBus;
        } else {
            while (bus < EngineCore::kMixerInputs && core_->connectionInto(destination, bus)) ++bus;
            if (bus == EngineCore::kMixerInputs)
                return engineError(kAudioUnitErr_InvalidElement, "The mixer has no free input.");
        }
    }
    std::erase_if(core_->connections, [&](const Connection& c) {
        return c.from == source || (c.to == destination && c.toBus == bus);
    });
    core_->connections.push_back(Connection{source, destination, bus, *format});
    return core_->rebuild();
}

namespace {
void disconnect(EngineCore& core, const std::shared_ptr<AVAudioNode>& node, NodeCore* Connection::*end) {
    std::lock_guard<std::mutex> lock(core.mutex);
    if (!node) return;
    const NodeCore* target = node->core().get();
    if (std::erase_if(core.connections, [&](const Connection& c) { return c.*end == target; }) > 0)
        core.rebuild();
}
} // namespace

void AVAudioEngine::disconnectNodeInput(const std::shared_ptr<AVAudioNode>& node) {
    disconnect(*core_, node, &Connection::to);
}

void AVAudioEngine::disconnectNodeOutput(const std::shared_ptr<AVAudioNode>& node) {
    disconnect(*core_, node, &Connection::from);
}

std::shared_ptr<AVAudioMixerNode> AVAudioEngine::mainMixerNode() const {
    return core_->mixer;
}

std::shared_ptr<AVAudioOutputNode> AVAudioEngine::outputNode() const {
    return core_->output;
}

Result<void> AVAudioEngine::prepare() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->rebuild();
}

Result<void> AVAudioEngine::start() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (core_->running && !(core_->sink && core_->sink->failed)) return {};
    // An output that failed while running is opened afresh.
    if (core_->sink) core_->sink->stop();
    core_->sink.reset();
    core_->running = false;
    if (!core_->manual && !core_->configuration.ok()) {
        outputCouldNotStart(core_->configuration.error());
        return core_->configuration.error();
    }
    if (auto built = core_->rebuild(); !built.ok()) return built;
    core_->resetSampleTime();
    if (!core_->manual) {
        auto sink = makeSink(*core_->configuration, core_->takes + 1);
        if (!sink.ok()) return sink.error();
        if (auto started = sink.value()->start(*core_); !started.ok()) return started;
        core_->sink = std::move(sink.value());
        ++core_->takes;
    }
    core_->running = true;
    return {};
}

void AVAudioEngine::stop() {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (core_->sink) core_->sink->stop();
    core_->sink.reset();
    core_->running = false;
    core_->reclaim();
}

bool AVAudioEngine::isRunning() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->running && !(core_->sink && core_->sink->failed);
}

Result<void> AVAudioEngine::enableManualRenderingMode(const AVAudioFormat& format,
                                                      AUAudioFrameCount maximumFrameCount) {
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (core_->running) return engineError(kAudioUnitErr_InvalidPropertyValue, "Stop the engine first.");
    if (!usable(format) || maximumFrameCount == 0)
        return engineError(kAudioUnitErr_FormatNotSupported,
                           "Manual rendering cannot produce " + describe(format) + " in blocks of " +
                               std::to_string(maximumFrameCount) + " frames.");
    // The output's own connection follows its format.
    for (auto& c : core_->connections)
        if (c.to == core_->output->core().get() && c.format == core_->outputFormat) c.format = format;
    core_->outputFormat = format;
    core_->manual = true;
    core_->manualMaximumFrames = maximumFrameCount;
    return core_->rebuild();
}

void AVAudioEngine::disableManualRenderingMode() {
    stop();
    std::lock_guard<std::mutex> lock(core_->mutex);
    if (!core_->manual) return;
    const AVAudioFormat format =
        core_->configuration.ok() ? core_->configuration->format : AudioOutputConfiguration().format;
    for (auto& c : core_->connections)
        if (c.to == core_->output->core().get() && c.format == core_->outputFormat) c.format = format;
    core_->outputFormat = format;
    core_->manual = false;
    core_->manualMaximumFrames = 0;
    core_->rebuild();
}

bool AVAudioEngine::isInManualRenderingMode() const {
    std::lock_guard<std::mutex> lock(core_->mutex);
    return core_->manual;
}

Result<void> AVAudioEngine::renderOffline(AUAudioFrameCount frames, AVAudioPCMBuffer& buffer) {
    EngineCore& core = *core_;
    const AUAudioFrameCount maximum = core.manualMaximumFrames.load();
    if (maximum == 0)
        return engineError(kAudioUnitErr_Uninitialized, "The engine is not in manual rendering mode.");
    if (!core.running.load()) return engineError(kAudioUnitErr_Uninitialized, "The engine is not running.");
    if (frames > maximum || frames > buffer.frameCapacity())
        return engineError(kAudioUnitErr_TooManyFramesToProcess,
                           std::to_string(frames) + " frames are more than the engine or the buffer takes.");
    if (core.offlineBusy.exchange(true))
        return engineError(kAudioUnitErr_InvalidPropertyValue, "Another thread is rendering this engine.");
    AudioBufferList out = *buffer.audioBufferList();
    core.renderCycle(frames, out);
    buffer.setFrameLength(frames);
    core.offlineBusy = false;
    return {};
}

} // namespace plat
