#include "RenderGraph.h"

#include <algorithm>
#include <cstring>

namespace plat::engine_detail {

namespace {

void resetOutput(RenderNode& node, AUAudioFrameCount frames) {
    node.out = *node.buffer->audioBufferList();
    for (std::uint32_t c = 0; c < node.out.mNumberBuffers; ++c)
        node.out.mBuffers[c].mDataByteSize = frames * 4;
}

void silence(const AudioBufferList& list, AUAudioFrameCount frames) {
    for (std::uint32_t c = 0; c < list.mNumberBuffers; ++c)
        if (list.mBuffers[c].mData) std::memset(list.mBuffers[c].mData, 0, frames * sizeof(float));
}

Error foreignRate(const AVAudioFormat& connection, double consumer) {
    return Error{kOSStatusErrorDomain, kAudioUnitErr_FormatNotSupported,
                 "A connection runs at " + sampleRateText(connection.sampleRate()) + " Hz into a node at " +
                     sampleRateText(consumer) + " Hz; only the mixer converts rates, and only " +
                     RateConverter::kRatesText + ", so it stays silent."};
}

// Pulls a mixer input's subtree at its own rate for the converter.
struct SubtreeSource final : RateConverter::Source {
    RenderGraph& graph;
    RenderNode& node;
    const AudioTimeStamp& timestamp;
    std::uint32_t channels;
    SubtreeSource(RenderGraph& g, RenderNode& n, const AudioTimeStamp& t, std::uint32_t c)
        : graph(g), node(n), timestamp(t), channels(c) {}
    void pull(const AudioBufferList& into, AUAudioFrameCount frames) override {
        const AudioBufferList& rendered = graph.render(node, frames, timestamp);
        mapChannels(rendered, node.format.channelCount(), into, channels, frames, 0, false);
    }
};

struct Compiler {
    const EngineCore& core;
    const std::vector<const NodeCore*>& excluded;
    std::optional<Error>& problem;
    RenderGraph& graph;

    void note(Error error) {
        if (!problem) problem = std::move(error);
    }

    RenderNode* make() {
        auto owned = std::make_unique<RenderNode>();
        RenderNode* node = owned.get();
        graph.nodes.push_back(std::move(owned));
        return node;
    }

    // The node for a mixer's input: at the mixer's rate, the input's subtree behind a converter.
    RenderNode* buildMixerInput(const Connection& feeding, double mixerRate) {
        const double rate = feeding.format.sampleRate();
        if (rate == mixerRate || !RateConverter::convertible(rate, mixerRate))
            return build(feeding, mixerRate);
        RenderNode* node = make();
        node->kind = NodeKind::mixer;
        node->format = AVAudioFormat(mixerRate, feeding.format.channelCount());
        node->buffer = AVAudioPCMBuffer::make(node->format, AVAudioEngine::kMaximumFramesToRender);
        node->converter = std::make_unique<RateConverter>(feeding.format.channelCount());
        node->sourceRate = rate;
        node->inputs.push_back(build(feeding, rate));
        return node;
    }

    // `consumerRate`: the rate the node this connection feeds runs at.
    RenderNode* build(const Connection& feeding, double consumerRate) {
        const NodeCore& source = *feeding.from;
        RenderNode* node = make();
        node->kind = source.kind;
        node->format = feeding.format;
        node->buffer = AVAudioPCMBuffer::make(feeding.format, AVAudioEngine::kMaximumFramesToRender);
        if (feeding.format.sampleRate() != consumerRate) {
            note(foreignRate(feeding.format, consumerRate));
            node->silent = true;
        }
        switch (source.kind) {
        case NodeKind::player:
            node->player = source.player.get();
            graph.players.push_back(source.player);
            break;
        case NodeKind::unit:
            if (std::find(excluded.begin(), excluded.end(), &source) != excluded.end()) {
                node->silent = true;
            } else if (!source.setup.allocated) {
                if (source.setup.error) note(*source.setup.error);
                node->silent = true;
            } else {
                node->block = source.setup.block;
                graph.units.push_back(source.unit);
            }
            break;
        case NodeKind::mixer:
        case NodeKind::output:
            break;
        }
        std::vector<const Connection*> inputs;
        for (const auto& c : core.connections)
            if (c.to == &source) inputs.push_back(&c);
        std::sort(inputs.begin(), inputs.end(), [](auto* a, auto* b) { return a->toBus < b->toBus; });
        const double rate = feeding.format.sampleRate();
        for (const Connection* c : inputs)
            node->inputs.push_back(node->kind == NodeKind::mixer ? buildMixerInput(*c, rate)
                                                                 : build(*c, rate));
        if (node->kind == NodeKind::unit) {
            RenderGraph* g = &graph;
            node->pullInput = [g, node](AudioUnitRenderActionFlags*, const AudioTimeStamp* timestamp,
                                        AUAudioFrameCount frames, NSInteger,
                                        AudioBufferList* inputData) -> AUAudioUnitStatus {
                if (frames > AVAudioEngine::kMaximumFramesToRender)
                    return kAudioUnitErr_TooManyFramesToProcess;
                if (node->inputs.empty() || !timestamp) {
                    // Nothing upstream: silence, in the caller's buffers or our own.
                    for (std::uint32_t c = 0; c < inputData->mNumberBuffers; ++c)
                        if (!inputData->mBuffers[c].mData)
                            inputData->mBuffers[c].mData = node->buffer->channel(c);
                    silence(*inputData, frames);
                    return noErr;
                }
                RenderNode& upstream = *node->inputs.front();
                const AudioBufferList& rendered = g->render(upstream, frames, *timestamp);
                if (inputData->mNumberBuffers > 0 && !inputData->mBuffers[0].mData) {
                    // The caller takes our buffers as they are.
                    const std::uint32_t n = std::min(inputData->mNumberBuffers, rendered.mNumberBuffers);
                    for (std::uint32_t c = 0; c < n; ++c) inputData->mBuffers[c] = rendered.mBuffers[c];
                    inputData->mNumberBuffers = n;
                    return noErr;
                }
                mapChannels(rendered, upstream.format.channelCount(), *inputData, inputData->mNumberBuffers,
                            frames, 0, false);
                return noErr;
            };
        }
        return node;
    }
};

} // namespace

void mapChannels(const AudioBufferList& src, std::uint32_t srcChannels, const AudioBufferList& dst,
                 std::uint32_t dstChannels, AUAudioFrameCount frames, AUAudioFrameCount dstOffset, bool add) {
    srcChannels = std::min(srcChannels, src.mNumberBuffers);
    dstChannels = std::min(dstChannels, dst.mNumberBuffers);
    for (std::uint32_t c = 0; c < dstChannels; ++c) {
        float* d = static_cast<float*>(dst.mBuffers[c].mData) + dstOffset;
        const std::uint32_t from = srcChannels == 1 ? 0 : c;
        const float* s = from < srcChannels ? static_cast<const float*>(src.mBuffers[from].mData) : nullptr;
        if (!s) {
            if (!add) std::memset(d, 0, frames * sizeof(float));
        } else if (add) {
            for (AUAudioFrameCount i = 0; i < frames; ++i) d[i] += s[i];
        } else {
            std::memcpy(d, s, frames * sizeof(float));
        }
    }
}

const AudioBufferList& RenderGraph::render(RenderNode& node, AUAudioFrameCount frames,
                                           const AudioTimeStamp& timestamp) {
    resetOutput(node, frames);
    if (node.silent) {
        silence(node.out, frames);
        return node.out;
    }
    if (node.converter) {
        SubtreeSource source(*this, *node.inputs.front(), timestamp, node.converter->channels());
        node.converter->render(node.sourceRate, node.format.sampleRate(), node.out,
                               node.converter->channels(), frames, source);
        return node.out;
    }
    switch (node.kind) {
    case NodeKind::player:
        node.player->render(frames, node.out, node.format.channelCount(), node.format.sampleRate());
        break;
    case NodeKind::mixer: {
        bool first = true;
        for (RenderNode* input : node.inputs) {
            const AudioBufferList& rendered = render(*input, frames, timestamp);
            mapChannels(rendered, input->format.channelCount(), node.out, node.format.channelCount(), frames,
                        0, !first);
            first = false;
        }
        if (first) silence(node.out, frames);
        break;
    }
    case NodeKind::unit: {
        AudioUnitRenderActionFlags flags = 0;
        if (node.block(&flags, &timestamp, frames, 0, &node.out, nullptr, &node.pullInput) != noErr) {
            resetOutput(node, frames);
            silence(node.out, frames);
        }
        break;
    }
    case NodeKind::output:
        silence(node.out, frames);
        break;
    }
    return node.out;
}

std::unique_ptr<RenderGraph> compileGraph(const EngineCore& core,
                                          const std::vector<const NodeCore*>& excluded,
                                          std::optional<Error>& problem) {
    auto graph = std::make_unique<RenderGraph>();
    if (const Connection* feeding = core.connectionInto(core.output->core().get(), 0)) {
        Compiler compiler{core, excluded, problem, *graph};
        graph->root = compiler.build(*feeding, core.outputFormat.sampleRate());
    }
    return graph;
}

} // namespace plat::engine_detail
