#pragma once
// A compiled, immutable picture of the engine's graph for the render thread: the tree of nodes that
// feeds the output, each with its own buffers, built off the render thread for every edit.

#include "EngineCore.h"
#include "RateConverter.h"

#include <memory>
#include <vector>

namespace plat::engine_detail {

struct RenderNode {
    NodeKind kind = NodeKind::mixer;
    AVAudioFormat format{0, 0}; // of the connection this node feeds
    bool silent = false;        // a unit that cannot render, or a connection at a rate not converted
    std::vector<RenderNode*> inputs;
    // A mixer's input at another rate: its one input renders at sourceRate and is converted here.
    std::unique_ptr<RateConverter> converter;
    double sourceRate = 0;
    std::unique_ptr<AVAudioPCMBuffer> buffer;
    AudioBufferList out; // what the last render produced
    PlayerState* player = nullptr;
    AURenderBlock block;
    AURenderPullInputBlock pullInput;
};

struct RenderGraph {
    RenderNode* root = nullptr; // feeds the output
    std::vector<std::unique_ptr<RenderNode>> nodes;
    // Keeps players and units alive while a render thread may still use this graph.
    std::vector<std::shared_ptr<PlayerState>> players;
    std::vector<std::shared_ptr<AUAudioUnit>> units;

    // Render thread: renders `node` for `frames` frames and returns its output.
    const AudioBufferList& render(RenderNode& node, AUAudioFrameCount frames,
                                  const AudioTimeStamp& timestamp);
};

// Builds the graph that feeds the output; units in `excluded` stay silent. `problem` receives the
// first part of the graph that cannot be rendered.
std::unique_ptr<RenderGraph> compileGraph(const EngineCore& core,
                                          const std::vector<const NodeCore*>& excluded,
                                          std::optional<Error>& problem);

// Copies (or, with `add`, sums) `frames` from src's channels into dst's: mono goes to every
// channel, otherwise channel to channel, and dst's channels that src lacks get silence.
void mapChannels(const AudioBufferList& src, std::uint32_t srcChannels, const AudioBufferList& dst,
                 std::uint32_t dstChannels, AUAudioFrameCount frames, AUAudioFrameCount dstOffset, bool add);

} // namespace plat::engine_detail
