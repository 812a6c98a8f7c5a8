// The player's side of the render thread, and the thread that calls completion handlers.
#include "EngineCore.h"
#include "RateConverter.h"
#include "RenderGraph.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace plat::engine_detail {

void SegmentStack::push(Segment* segment) {
    Segment* head = head_.load(std::memory_order_relaxed);
    do {
        segment->next = head;
    } while (
        !head_.compare_exchange_weak(head, segment, std::memory_order_release, std::memory_order_relaxed));
}

Segment* SegmentStack::takeAll() {
    Segment* taken = head_.exchange(nullptr, std::memory_order_acquire);
    Segment* ordered = nullptr;
    while (taken) {
        Segment* next = taken->next;
        taken->next = ordered;
        ordered = taken;
        taken = next;
    }
    return ordered;
}

namespace {
void freeList(Segment* segment) {
    while (segment) {
        Segment* next = segment->next;
        delete segment;
        segment = next;
    }
}
} // namespace

PlayerState::PlayerState() : converter(std::make_unique<RateConverter>(AudioBufferList::kCapacity)) {}

PlayerState::~PlayerState() {
    discardAll();
}

namespace {
double rateOf(const Segment& segment) {
    return segment.samples->format.sampleRate();
}

// The run of queued files at one rate, read for the converter; the frames after it are silent.
struct QueueSource final : RateConverter::Source {
    PlayerState& player;
    std::uint32_t channels;
    double rate;
    QueueSource(PlayerState& p, std::uint32_t c, double r) : player(p), channels(c), rate(r) {}
    void pull(const AudioBufferList& into, AUAudioFrameCount frames) override {
        const AUAudioFrameCount rendered = player.renderQueued(frames, into, channels, rate);
        for (std::uint32_t c = 0; c < channels; ++c)
            std::memset(static_cast<float*>(into.mBuffers[c].mData) + rendered, 0,
                        (frames - rendered) * sizeof(float));
        player.silenceRead = rendered ? frames - rendered : player.silenceRead + frames;
    }
};
} // namespace

void PlayerState::render(AUAudioFrameCount frames, AudioBufferList& out, std::uint32_t channels,
                         double rate) {
    AUAudioFrameCount rendered = 0;
    if (!flushing.load(std::memory_order_seq_cst)) {
        if (Segment* fresh = inbox.takeAll()) {
            (tail ? tail->next : head) = fresh;
            tail = fresh;
            while (tail->next) tail = tail->next;
        }
        if (playing.load(std::memory_order_relaxed)) rendered = renderRuns(frames, out, channels, rate);
    }
    for (std::uint32_t c = 0; c < out.mNumberBuffers; ++c)
        std::memset(static_cast<float*>(out.mBuffers[c].mData) + rendered, 0,
                    (frames - rendered) * sizeof(float));
}

// Files at one rate follow each other as one stream, so passes of a clip join without a seam. Where
// the rate changes, the run before ends on the output frame its last source frame reaches, and the
// next run is converted from its own first frame, its phase carrying the fraction of an output frame
// by which it begins earlier, so the timeline stays exact however many runs follow.
AUAudioFrameCount PlayerState::renderRuns(AUAudioFrameCount frames, const AudioBufferList& out,
                                          std::uint32_t channels, double rate) {
    AUAudioFrameCount done = 0;
    while (done < frames) {
        AudioBufferList rest = out;
        for (std::uint32_t c = 0; c < rest.mNumberBuffers; ++c)
            rest.mBuffers[c].mData = static_cast<float*>(rest.mBuffers[c].mData) + done;
        while (head && head->position >= head->samples->frames()) finishHead();
        if (convertingFrom != 0 &&
            (convertingFrom == rate || !RateConverter::convertible(convertingFrom, rate)))
            forgetRun(); // the connection changed under the run
        if (convertingFrom != 0) {
            // Source frames of the run the output has still to pass, and the file after it.
            double left = converter->readAhead() - double(silenceRead);
            const Segment* after = head;
            for (; after && rateOf(*after) == convertingFrom; after = after->next)
                left += double(after->samples->frames() - after->position);
            const double step = convertingFrom / rate;
            AUAudioFrameCount n = frames - done;
            if (after) {
                const double until = std::ceil(left / step - 1e-9);
                if (until <= 0) {
                    const double late = -left / step;
                    forgetRun();
                    carry = late < 1 ? std::max(late, 0.0) : 0.0;
                    continue;
                }
                n = AUAudioFrameCount(std::min(until, double(n)));
            }
            QueueSource source(*this, channels, convertingFrom);
            converter->render(convertingFrom, rate, rest, channels, n, source);
            done += n;
        } else if (!head) {
            break;
        } else if (const double from = rateOf(*head); from == rate) {
            carry = 0;
            done += renderQueued(frames - done, rest, channels, rate);
        } else if (RateConverter::convertible(from, rate) && channels <= converter->channels()) {
            converter->reset(carry * from / rate);
            convertingFrom = from;
            carry = 0;
        } else {
            break; // waits for a connection it can be converted to
        }
    }
    return done;
}

void PlayerState::finishHead() {
    Segment* ended = head;
    head = head->next;
    if (!head) tail = nullptr;
    done.push(ended);
    finished.fetch_add(1, std::memory_order_relaxed);
}

void PlayerState::forgetRun() {
    converter->reset();
    convertingFrom = 0;
    silenceRead = 0;
    carry = 0;
}

AUAudioFrameCount PlayerState::renderQueued(AUAudioFrameCount frames, const AudioBufferList& out,
                                            std::uint32_t channels, double rate) {
    AUAudioFrameCount rendered = 0;
    while (rendered < frames && head && rateOf(*head) == rate) {
        const AVAudioFile::Samples& samples = *head->samples;
        const auto n = AUAudioFrameCount(
            std::min<AVAudioFramePosition>(frames - rendered, samples.frames() - head->position));
        AudioBufferList source;
        source.mNumberBuffers = std::uint32_t(samples.channels.size());
        for (std::uint32_t c = 0; c < source.mNumberBuffers; ++c)
            source.mBuffers[c] = {1, n * 4, const_cast<float*>(samples.channels[c].data() + head->position)};
        mapChannels(source, source.mNumberBuffers, out, channels, n, rendered, false);
        rendered += n;
        head->position += n;
        if (head->position >= samples.frames()) finishHead();
    }
    return rendered;
}

std::uint64_t PlayerState::flushQueued() {
    forgetRun();
    Segment* queued = head;
    head = tail = nullptr;
    Segment* fresh = inbox.takeAll();
    for (Segment* list : {queued, fresh}) {
        while (list) {
            Segment* next = list->next;
            done.push(list);
            finished.fetch_add(1, std::memory_order_relaxed);
            list = next;
        }
    }
    return finished.load();
}

void PlayerState::discardAll() {
    if (converter) forgetRun();
    freeList(head);
    head = tail = nullptr;
    freeList(inbox.takeAll());
    freeList(done.takeAll());
    pending.store(0);
}

std::shared_ptr<EngineCore> NodeCore::attachedEngine() const {
    std::lock_guard<std::mutex> lock(linkMutex_);
    return engine_.lock();
}

bool NodeCore::claim(const std::shared_ptr<EngineCore>& engine) {
    std::lock_guard<std::mutex> lock(linkMutex_);
    if (!engine_.expired()) return false;
    engine_ = engine;
    return true;
}

void NodeCore::release() {
    std::lock_guard<std::mutex> lock(linkMutex_);
    engine_.reset();
}

CompletionService::CompletionService()
    : thread_(startThread([this] { run(); })), threadId_(thread_.get_id()) {}

CompletionService::~CompletionService() {
    shutdown();
}

void CompletionService::add(const std::shared_ptr<PlayerState>& player) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(players_.begin(), players_.end(), [&](auto& e) { return e.player == player; });
    if (found == players_.end())
        players_.push_back({player, false});
    else
        found->retiring = false;
}

void CompletionService::retire(const std::shared_ptr<PlayerState>& player) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& e : players_)
            if (e.player == player) e.retiring = true;
    }
    wake_.notify_all();
}

void CompletionService::notify() {
    // Taking the lock orders this after a waiter's look at the players, so the wake is not lost.
    { std::lock_guard<std::mutex> lock(mutex_); }
    wake_.notify_all();
}

void CompletionService::awaitDelivery(const PlayerState& player, std::uint64_t finished) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (std::this_thread::get_id() == threadId_) return;
    delivered_.wait(lock, [&] { return stopping_ || player.delivered.load() >= finished; });
}

void CompletionService::shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    delivered_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void CompletionService::run() {
    std::vector<std::pair<std::shared_ptr<PlayerState>, Segment*>> batch;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        const bool outstanding = std::any_of(players_.begin(), players_.end(),
                                             [](auto& e) { return e.player->pending.load() > 0; });
        // The render thread finishes segments without a system call, so they are polled for. A
        // player keeps its passes queued well ahead, so a handler a few milliseconds late costs
        // nothing audible, while a fast poll costs a steady share of a core while anything plays.
        if (outstanding)
            wake_.wait_for(lock, std::chrono::milliseconds(20));
        else
            wake_.wait(lock);
        if (stopping_) break;
        batch.clear();
        for (auto& e : players_)
            if (Segment* finished = e.player->done.takeAll()) batch.emplace_back(e.player, finished);
        lock.unlock();
        for (auto& [player, segment] : batch) {
            while (segment) {
                Segment* next = segment->next;
                if (segment->completion) segment->completion();
                delete segment;
                player->pending.fetch_sub(1);
                player->delivered.fetch_add(1);
                segment = next;
            }
        }
        batch.clear();
        lock.lock();
        delivered_.notify_all();
        std::erase_if(players_, [](auto& e) { return e.retiring && e.player->pending.load() == 0; });
    }
}

} // namespace plat::engine_detail
