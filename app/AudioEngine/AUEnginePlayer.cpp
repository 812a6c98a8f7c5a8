#include "AUEnginePlayer.h"

#include "AppConsole.h"
#include "Helpers.h"

#include "plat/audiosession.h"
#include "plat/dispatch.h"
#include "plat/files.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <random>

// The passes of one (re)start: those that ended and wait for the state queue, and those taken up
// there that wait for the main queue. A task is posted only as a count leaves zero, so one task at
// most waits on each queue, however many passes end before it runs.
struct AUEnginePlayer::PassTally {
    std::atomic<long> ended{0}, unreported{0};
};

namespace {

// The effect would call this on the render thread: the line is formatted on the stack and handed
// on without allocating (safeprint puts it in the console's ring there, on the main queue elsewhere).
// Only the bytes the event has are read.
plat::OSStatus logMIDIEvent(plat::AUEventSampleTime time, std::uint8_t, plat::NSInteger length,
                            const std::uint8_t* bytes) {
    if (length != 3) safeprint("AUEnginePlayer::WARNING: The MIDI data length is not as expected.");
    char line[128];
    int at = std::snprintf(
        line, sizeof line,
        "AUEnginePlayer: MIDI event from audio unit at: %" PRId64 ", data: ", std::int64_t(time));
    const plat::NSInteger shown = bytes ? std::clamp<plat::NSInteger>(length, 0, 3) : 0;
    for (plat::NSInteger i = 0; i < shown; ++i)
        at += std::snprintf(line + at, sizeof line - std::size_t(at), i ? ", %u" : "%u", unsigned(bytes[i]));
    safeprint(std::string_view(line, std::size_t(at)));
    return plat::noErr;
}

std::filesystem::path ownResources() {
    static const int anchor = 0;
    const auto bundle = plat::Bundle::containing(&anchor);
    const auto resources = bundle ? bundle->resourceURL() : std::nullopt;
    return resources ? resources->filePath() : std::filesystem::path();
}

int drawUniformly() {
    static std::mt19937 generator{std::random_device{}()};
    return std::uniform_int_distribution<int>(1, AUEnginePlayer::kClipCount)(generator);
}

// Descriptions that end a sentence of their own get no second full stop.
std::string sentence(const std::string& text) {
    return text.ends_with('.') ? text : text + ".";
}

void reportFailure(const plat::Result<void>& result) {
    if (!result) print("AUEnginePlayer::ERROR: " + shownMessage(result.error().description));
}

// A graph edit's own line, or what went wrong instead.
void report(const plat::Result<void>& result, std::string_view done) {
    if (result)
        print(done);
    else
        reportFailure(result);
}

} // namespace

AUEnginePlayer::AUEnginePlayer(Configuration configuration)
    : midiOutBlock(logMIDIEvent),
      engine(configuration.output ? std::make_unique<plat::AVAudioEngine>(*configuration.output)
                                  : std::make_unique<plat::AVAudioEngine>()),
      player(std::make_shared<plat::AVAudioPlayerNode>()),
      clips(configuration.clips ? *configuration.clips : ownResources()),
      drawClipNumber(configuration.drawClipNumber ? std::move(configuration.drawClipNumber) : drawUniformly),
      openClip(configuration.openClip ? std::move(configuration.openClip) : plat::AVAudioFile::forReading),
      stateChangeQueue(
          std::make_shared<plat::SerialQueue>("com.KWOB.YUX-Sorvane.AUEnginePlayer.stateQueue")) {
    engine->attach(player);
}

AUEnginePlayer::~AUEnginePlayer() {
    // Passes that end from here on find nothing to schedule.
    isPlaying = false;
    stateChangeQueue.reset();
}

void AUEnginePlayer::finalize() {
    stop();
    disconnect();
}

void AUEnginePlayer::disconnect() {
    connect(nullptr, [] { print("AUEnginePlayer: Performed audio unit disconnection."); });
}

// ---- clips -------------------------------------------------------------------------------------

void AUEnginePlayer::load(const std::optional<plat::URL>& url, std::function<void()> then) {
    if (!url) {
        if (then) then();
        return;
    }
    loopCount = 0;
    print("AUEnginePlayer: Audio file at '" + shown(url->path()) +
          "' was selected for loading into the player.");
    stateChangeQueue->sync([&] { fileURL = url; });
    std::weak_ptr<AUEnginePlayer> weak = weak_from_this();
    plat::GlobalQueue::async(
        [weak, open = openClip, url = *url, request = requests, loading = ++loads, then] {
            auto opened = open(url);
            plat::MainQueue::async([weak, url, request, loading, then, opened] {
                const auto self = weak.lock();
                if (!self || self->requests != request || self->loads != loading) return;
                self->install(url, opened);
                if (then) then();
            });
        });
}

// Main thread, once the clip was opened (or not).
void AUEnginePlayer::install(const plat::URL& url, plat::Result<std::shared_ptr<plat::AVAudioFile>> opened) {
    if (!opened) {
        // The clip that plays stays.
        print("AUEnginePlayer::ERROR: Could not create AVAudioFile instance for URL '" +
              shown(url.absoluteString()) +
              "'. error: " + shownMessage(sentence(opened.error().description)));
        return;
    }
    stateChangeQueue->sync([&] { file = std::move(opened).value(); });
    if (delegate) delegate->onFileSelect(url.path());

    stateChangeQueue->sync([&] {
        const auto mixer = engine->mainMixerNode();
        if (isPlaying) player->stop();
        if (!activeAVAudioUnit) {
            engine->disconnectNodeInput(mixer);
            report(engine->connect(player, mixer, file->processingFormat()),
                   "AUEnginePlayer: The player was connected to the mainMixerNode.");
        } else {
            engine->disconnectNodeInput(mixer);
            print("AUEnginePlayer: Player was (temporarily) disconnecting from the main mixer.");
            engine->disconnectNodeInput(activeAVAudioUnit);
            print("AUEnginePlayer: Audio unit was (temporarily) disconnecting from the player.");
            reportFailure(engine->connect(player, activeAVAudioUnit));
            print(std::to_string(file->processingFormat().channelCount()));
            print("AUEnginePlayer: Audio unit re-connecting to the player.");
            reportFailure(engine->connect(activeAVAudioUnit, mixer));
            print("AUEnginePlayer: Audio unit re-connectingto the main mixer.");
        }
        if (!isPlaying) return;
        // The stop let go of the old clip's passes; the new clip's take their place.
        queuePasses();
        player->play();
    });
}

void AUEnginePlayer::randomizeFile(std::function<void()> then) {
    const std::string name = std::to_string(drawClipNumber()) + ".m4a";
    std::error_code ec;
    const std::filesystem::path path = clips / name;
    if (clips.empty() || !std::filesystem::is_regular_file(path, ec)) {
        print("AUEnginePlayer::ERROR: The audio file '" + name +
              "' was not found inside the resource folder for the app.");
        stateChangeQueue->sync([&] { fileURL.reset(); });
        then();
        return;
    }
    const plat::URL url = plat::URL::fileURL(path);
    std::weak_ptr<AUEnginePlayer> weak = weak_from_this();
    load(url, [weak, url, then] {
        const auto self = weak.lock();
        if (!self) return;
        print(shown(url.path()));
        reportFailure(self->engine->prepare());
        then();
    });
}

// ---- playing -----------------------------------------------------------------------------------

void AUEnginePlayer::setSessionActive(bool active) {
    auto& session = plat::AVAudioSession::sharedInstance();
    auto done = session.setCategory(plat::AVAudioSession::Category::playback,
                                    plat::AVAudioSession::Mode::defaultMode, 0);
    if (done) done = session.setActive(active, 0);
    if (done)
        print("AUEnginePlayer: Audio session was set active.");
    else
        print(std::string("AUEnginePlayer::ERROR: Could not set audio session active ") +
              (active ? "true" : "false") +
              ". system error: " + shownMessage(sentence(done.error().description)));
}

void AUEnginePlayer::start() {
    if (starting) return;
    starting = true;
    const std::uint64_t request = ++requests;
    std::weak_ptr<AUEnginePlayer> weak = weak_from_this();
    randomizeFile([weak, request] {
        const auto self = weak.lock();
        if (!self || self->requests != request) return;
        self->starting = false;
        self->beginPlaying();
    });
}

// Main thread, with the drawn clip in place (or not).
void AUEnginePlayer::beginPlaying() {
    bool attempted = false;
    stateChangeQueue->sync([&] {
        if (isPlaying) return;
        attempted = true;
        startPlayingInternal();
    });
    if (!attempted) return;
    const bool started = isPlaying;
    std::weak_ptr<AUEnginePlayer> weak = weak_from_this();
    plat::MainQueue::async([weak, started] {
        const auto self = weak.lock();
        if (!self) return;
        // A failed start was reported where it failed; the delegate hears that nothing plays.
        if (started) print("AUEnginePlayer: Audio engine starting.");
        if (self->delegate) self->delegate->onPlayerStateChanged(started);
    });
}

void AUEnginePlayer::startPlayingInternal() {
    if (!file) {
        // Nothing to play: the engine is not started, and the delegate hears that nothing plays.
        print("AUEnginePlayer::ERROR: `file` parameter must not be nil.");
        return;
    }
    setSessionActive(true);
    queuePasses();
    const auto output = engine->outputNode();
    reportFailure(engine->connect(engine->mainMixerNode(), output, output->outputFormat(0)));
    if (auto started = engine->start()) {
        player->play();
        isPlaying = true;
    } else {
        isPlaying = false;
        print("AUEnginePlayer::ERROR: Could not start audio engine. error: " +
              shownMessage(sentence(started.error().description)));
        // Nothing stays scheduled for the next start, and the session is given back.
        player->stop();
        setSessionActive(false);
    }
}

// On the state queue: a new generation of passes, the one that plays first and enough after it to
// cover a quarter of a second (at least one more), so that the next is always queued before the
// output needs it, however short the clip: a clip of one frame takes 12000 at 48 kHz. Each pass
// that ends queues one more.
void AUEnginePlayer::queuePasses() {
    passes = std::make_shared<PassTally>();
    if (!file) return;
    const double ahead =
        file->processingFormat().sampleRate() / 4 / double(std::max<std::int64_t>(file->length(), 1));
    // A clip the player refuses (at another rate) is refused once, not once per pass.
    for (int n = std::max(int(std::ceil(ahead)), 1) + 1; n > 0 && scheduleEffectLoop(); --n) {
    }
}

bool AUEnginePlayer::scheduleEffectLoop() {
    if (!file) {
        print("AUEnginePlayer::ERROR: `file` parameter must not be nil.");
        return false;
    }
    std::weak_ptr<AUEnginePlayer> weak = weak_from_this();
    const auto scheduled = player->scheduleFile(file, [weak, queue = stateChangeQueue, tally = passes] {
        if (tally->ended.fetch_add(1) == 0)
            queue->async([weak, tally] {
                if (const auto self = weak.lock()) self->onPassesFinished(tally);
            });
    });
    reportFailure(scheduled);
    return bool(scheduled);
}

// On the state queue, after passes ended or the player let go of them.
void AUEnginePlayer::onPassesFinished(const std::shared_ptr<PassTally>& tally) {
    // A stop, a failed start or a new clip let go of them: no pass.
    if (!isPlaying || tally != passes) return;
    const long ended = tally->ended.exchange(0);
    for (long n = 0; n < ended && scheduleEffectLoop(); ++n) {
    }
    if (ended == 0 || tally->unreported.fetch_add(ended) != 0) return;
    std::weak_ptr<AUEnginePlayer> weak = weak_from_this();
    plat::MainQueue::async([weak, tally, played = file->url().path()] {
        const auto self = weak.lock();
        const long passed = tally->unreported.exchange(0);
        if (!self || passed == 0) return;
        // One line for the passes taken up together, as for each single one: the count is the last's.
        if (self->delegate) self->delegate->onLoop(self->loopCount + passed - 1);
        self->loopCount += passed;
        print("AUEnginePlayer: Current audio file '" + shown(played) +
              "' looped: " + std::to_string(self->loopCount) + ".");
    });
}

void AUEnginePlayer::stop() {
    ++requests;
    starting = false;
    bool stopped = false;
    stateChangeQueue->sync([&] {
        if (!isPlaying) return;
        stopPlayingInternal();
        stopped = true;
    });
    if (!stopped) return;
    std::weak_ptr<AUEnginePlayer> weak = weak_from_this();
    plat::MainQueue::async([weak] {
        const auto self = weak.lock();
        if (!self) return;
        print("AUEnginePlayer: Audio engine stopping.");
        if (self->delegate) self->delegate->onPlayerStateChanged(false);
    });
}

void AUEnginePlayer::stopPlayingInternal() {
    player->stop();
    engine->stop();
    isPlaying = false;
    setSessionActive(false);
}

bool AUEnginePlayer::toggle() {
    // A second Play while the clip is still being opened is the same start.
    if (!isPlaying)
        start();
    else
        stop();
    return isPlaying || starting;
}

// ---- the effect --------------------------------------------------------------------------------

void AUEnginePlayer::connect(std::shared_ptr<plat::AVAudioUnit> avAudioUnit,
                             std::function<void()> completion) {
    print(avAudioUnit
              ? "AUEnginePlayer: A new audio unit will be connected."
              : "AUEnginePlayer::WARNING: Function connect() with argument 'nil' causes disconnection.");
    const bool disconnecting = avAudioUnit == nullptr;
    stateChangeQueue->sync([&] {
        bool resetDue = true;
        const auto mixer = engine->mainMixerNode();
        if (activeAVAudioUnit) {
            engine->disconnectNodeInput(activeAVAudioUnit);
            engine->disconnectNodeInput(mixer);
            resetAudioLoop();
            resetDue = false;
            engine->detach(activeAVAudioUnit);
            print("AUEnginePlayer: Audio unit was disconnecting and detaching.");
            activeAVAudioUnit.reset();
        }
        activeAVAudioUnit = std::move(avAudioUnit);
        const auto output = engine->outputNode();
        reportFailure(engine->connect(mixer, output, output->outputFormat(0)));
        if (isPlaying) player->pause();
        if (!activeAVAudioUnit) {
            if (resetDue) resetAudioLoop();
        } else {
            const auto& unit = activeAVAudioUnit->auAudioUnit();
            if (!unit->MIDIOutputNames().empty()) {
                print(
                    "AUEnginePlayer: The audio unit reports MIDI output names. Assigning a handling block.");
                unit->setMIDIOutputEventBlock(midiOutBlock);
            }
            report(engine->attach(activeAVAudioUnit), "AUEnginePlayer: Audio unit was attached.");
            engine->disconnectNodeInput(mixer);
            if (file) {
                const auto format = file->processingFormat();
                report(engine->connect(player, activeAVAudioUnit, format),
                       "AUEnginePlayer: Audio Unit was connected to the player.");
                report(engine->connect(activeAVAudioUnit, mixer, format),
                       "AUEnginePlayer: Audio Unit was connected to the main mixer.");
            } else {
                print("AUEnginePlayer::ERROR: There was a problem with the file processing format or the "
                      "file is nil "
                      "(yet).");
            }
        }
        if (isPlaying) player->play();
    });
    if (completion) completion();
    if (disconnecting) print("AUEnginePlayer: The audio unit was set to 'nil'.");
}

void AUEnginePlayer::resetAudioLoop() {
    if (!file) {
        print("AUEnginePlayer: ERROR: There is a problem with the audio file processing format.");
        return;
    }
    reportFailure(engine->connect(player, engine->mainMixerNode(), file->processingFormat()));
}
