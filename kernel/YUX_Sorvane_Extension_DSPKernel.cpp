#include "YUX_Sorvane_Extension_DSPKernel.h"

#include "plat/audio.h"
#include "plat/console.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr const char* kReceivedLine = "unit received parameter : address:%llu, value:%f\n";
constexpr const char* kSentLine = "unit sent parameter : address:%llu";

// Band parameter kinds by address: 1000 + i levels, 2000 + i resonances, 3000 + i compansions.
int bandKind(plat::AUParameterAddress address, int& band) {
    for (int kind = 1; kind <= 3; ++kind) {
        const plat::AUParameterAddress base = plat::AUParameterAddress(kind) * 1000;
        if (address >= base && address < base + YUX_Sorvane_Extension_DSPKernel::kBands) {
            band = int(address - base);
            return kind;
        }
    }
    return 0;
}
} // namespace

YUX_Sorvane_Extension_DSPKernel::YUX_Sorvane_Extension_DSPKernel() {
    for (int i = 0; i < kBands; ++i) {
        gainStore[i].store(1.0f, std::memory_order_relaxed);
        resonanceStore[i].store(0.1f, std::memory_order_relaxed);
        multiplierStore[i].store(0.0f, std::memory_order_relaxed);
    }
    // Make sure the console's drain thread exists before any line is raised on the render thread.
    plat::Console::shared();
    publishMeters();
    publishFrequencies();
}

YUX_Sorvane_Extension_DSPKernel::~YUX_Sorvane_Extension_DSPKernel() = default;

void YUX_Sorvane_Extension_DSPKernel::init(int count, double rate) {
    if (plat::isSupportedSampleRate(rate)) setSamplerate(float(rate)); // else the rate held stays
    channelCount = count;
    reset();
}

void YUX_Sorvane_Extension_DSPKernel::setSamplerate(float rate) {
    // The buses refuse, with an error, a rate outside what a real host uses; one that reaches
    // the kernel some other way leaves the rate held, and the bands muted for it, as they were.
    if (!plat::isSupportedSampleRate(double(rate))) return;
    sampleRate.store(rate, std::memory_order_relaxed);
    analyzer.setSamplerate(rate);
    for (auto& pair : followers)
        for (auto& f : pair) f.setSamplerate(rate);
    spectralCompander.setSamplerate(rate);
    publishFrequencies();
}

void YUX_Sorvane_Extension_DSPKernel::publishFrequencies() {
    const float* centres = spectralCompander.getFrequencies();
    for (int i = 0; i < kBands; ++i) publishedFrequencies[i].store(centres[i], std::memory_order_relaxed);
}

void YUX_Sorvane_Extension_DSPKernel::reset() {
    resetRequested.store(false, std::memory_order_relaxed);
    for (auto& pair : followers)
        for (auto& f : pair) f.reset();
    spectralCompander.reset();
    // The banks' reset returns every band's level to unity; the stored levels still hold.
    if (gainsApplied) spectralCompander.setGain(gains);
    applyPending();
    publishMeters();
}

void YUX_Sorvane_Extension_DSPKernel::setBuffers(plat::AudioBufferList* in, plat::AudioBufferList* out,
                                                 int bus) {
    inBufferList = in;
    outBufferList = out;
    outputBus = bus;
}

std::uint32_t YUX_Sorvane_Extension_DSPKernel::receive(plat::AUParameterAddress address,
                                                       plat::AUValue value) {
    plat::Console::shared().postFormatted(kReceivedLine, static_cast<unsigned long long>(address),
                                          double(value));
    // Every door into the store ends here: the filters only ever see numbers within the
    // parameters' 0..1, and NaN changes nothing.
    if (std::isnan(value)) return 0;
    value = std::clamp(value, 0.0f, 1.0f);
    if (address <= 3) {
        params[address].store(value, std::memory_order_relaxed);
        static constexpr std::uint32_t kGlobal[4] = {0, kThreshold, kAttack, kRelease};
        return kGlobal[address];
    }
    int band = 0;
    switch (bandKind(address, band)) {
    case 1:
        gainStore[band].store(value, std::memory_order_relaxed);
        return kGains;
    case 2:
        resonanceStore[band].store(value, std::memory_order_relaxed);
        return kResonances;
    case 3:
        multiplierStore[band].store(value, std::memory_order_relaxed);
        return kMultipliers;
    default:
        return 0; // not a parameter of this kernel
    }
}

void YUX_Sorvane_Extension_DSPKernel::setParameter(plat::AUParameterAddress address, plat::AUValue value) {
    if (const std::uint32_t kind = receive(address, value)) pending.fetch_or(kind, std::memory_order_release);
}

plat::AUValue YUX_Sorvane_Extension_DSPKernel::getParameter(plat::AUParameterAddress address) {
    plat::Console::shared().postFormatted(kSentLine, static_cast<unsigned long long>(address));
    if (address <= 3) return params[address].load(std::memory_order_relaxed);
    int band = 0;
    switch (bandKind(address, band)) {
    case 1:
        return gainStore[band].load(std::memory_order_relaxed);
    case 2:
        return resonanceStore[band].load(std::memory_order_relaxed);
    case 3:
        return multiplierStore[band].load(std::memory_order_relaxed);
    default:
        return 0.0f;
    }
}

void YUX_Sorvane_Extension_DSPKernel::applyPending() {
    const std::uint32_t what = pending.exchange(0, std::memory_order_acquire);
    if (what) apply(what);
}

void YUX_Sorvane_Extension_DSPKernel::apply(std::uint32_t what) {
    if (what & kThreshold) spectralCompander.setThreshold(params[1].load(std::memory_order_relaxed));
    if (what & kAttack) spectralCompander.setAttack(params[2].load(std::memory_order_relaxed));
    if (what & kRelease) spectralCompander.setRelease(params[3].load(std::memory_order_relaxed));
    // A band value refreshes its whole vector, so both channels and every band are current.
    if (what & kGains) {
        for (int i = 0; i < kBands; ++i) gains[i] = gainStore[i].load(std::memory_order_relaxed);
        spectralCompander.setGain(gains);
        gainsApplied = true;
    }
    if (what & kResonances) {
        for (int i = 0; i < kBands; ++i) resonances[i] = resonanceStore[i].load(std::memory_order_relaxed);
        spectralCompander.setResonance(resonances);
    }
    if (what & kMultipliers) {
        for (int i = 0; i < kBands; ++i) multipliers[i] = multiplierStore[i].load(std::memory_order_relaxed);
        spectralCompander.setMultiplier(multipliers);
    }
}

void YUX_Sorvane_Extension_DSPKernel::setParameterAutomated(plat::AUParameterAddress address,
                                                            plat::AUValue value, plat::AUEventSampleTime) {
    // As setParameter, but applied at once: at the event's own sample.
    if (const std::uint32_t kind = receive(address, value)) apply(kind);
}

void YUX_Sorvane_Extension_DSPKernel::handleMIDIEvent(const plat::AUMIDIEvent& event) {
    if (event.length > 0) {
        switch (event.data[0]) {
        case 0xF8: // timing clock
        case 0xFA: // start
        case 0xFB: // continue
        case 0xFC: // stop
        case 0xFF: // system reset
            return;
        default:
            break;
        }
    }
    if (midiOut && *midiOut && midiThru) (*midiOut)(event.eventSampleTime, 0, event.length, event.data);
}

void YUX_Sorvane_Extension_DSPKernel::process2(std::uint32_t, std::uint32_t) {}

void YUX_Sorvane_Extension_DSPKernel::process(std::uint32_t frameCount, std::uint32_t bufferOffset) {
    const int channels = channelCount;
    if (!inBufferList || !outBufferList || channels < 0 ||
        std::uint32_t(channels) > inBufferList->mNumberBuffers ||
        std::uint32_t(channels) > outBufferList->mNumberBuffers)
        return;
    float* out[plat::AudioBufferList::kCapacity] = {};
    for (int c = 0; c < channels; ++c) {
        auto* in = static_cast<float*>(inBufferList->mBuffers[c].mData);
        out[c] = static_cast<float*>(outBufferList->mBuffers[c].mData);
        if (!in || !out[c]) return;
        in += bufferOffset;
        out[c] += bufferOffset;
        if (in != out[c]) std::memmove(out[c], in, frameCount * sizeof(float));
    }
    // Any non-zero bypass parameter bypasses.
    const float bypassParameter = params[0].load(std::memory_order_relaxed);
    if (bypassed.load(std::memory_order_relaxed) || channels != 2 || !(bypassParameter == 0.0f)) return;
    spectralCompander.processBuffers(out[0], out[1], int(frameCount));
}

void YUX_Sorvane_Extension_DSPKernel::renderCycle(const plat::AudioTimeStamp* timestamp,
                                                  std::uint32_t frameCount, const plat::AURenderEvent* events,
                                                  const plat::AUMIDIOutputEventBlock* midiOutBlock) {
    if (resetRequested.load(std::memory_order_acquire)) reset();
    applyPending();
    processWithEvents(timestamp, frameCount, events, midiOutBlock);
    publishMeters();
}

void YUX_Sorvane_Extension_DSPKernel::publishMeters() {
    const VEC32 peaks = spectralCompander.getBandpassPeaks();
    const VEC32 gainFactors = spectralCompander.getFactor();
    for (int i = 0; i < kBands; ++i) {
        publishedPeaks[i].store(peaks[i], std::memory_order_relaxed);
        publishedFactors[i].store(gainFactors[i], std::memory_order_relaxed);
    }
}

const float* YUX_Sorvane_Extension_DSPKernel::getLevels() {
    for (int i = 0; i < kBands; ++i) {
        const float level = 5.0f * publishedPeaks[i].load(std::memory_order_relaxed);
        levels[i] = level > 1.0f ? 1.0f : level;
    }
    return levels;
}

const float* YUX_Sorvane_Extension_DSPKernel::getFactors() {
    for (int i = 0; i < kBands; ++i) {
        const float factor = 0.5f * publishedFactors[i].load(std::memory_order_relaxed);
        factors[i] = factor > 1.0f ? 1.0f : factor;
    }
    return factors;
}

const float* YUX_Sorvane_Extension_DSPKernel::getFrequencies() {
    for (int i = 0; i < kBands; ++i) frequencies[i] = publishedFrequencies[i].load(std::memory_order_relaxed);
    return frequencies;
}
