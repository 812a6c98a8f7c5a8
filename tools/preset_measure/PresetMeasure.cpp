#include "PresetMeasure.h"

#include "plat/console.h"
#include "plat/dispatch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace presetmeasure {

namespace {

constexpr std::uint32_t kCycle = 512;

// The unit logs every parameter it is given; a measurement run keeps that out of its report.
class QuietConsole {
public:
    QuietConsole() {
        plat::Console::shared().setSink([](std::string_view) {});
    }
    ~QuietConsole() {
        plat::RunLoop::main().drain();
        plat::Console::shared().flush();
        plat::Console::shared().setSink({});
    }
    QuietConsole(const QuietConsole&) = delete;
    QuietConsole& operator=(const QuietConsole&) = delete;
};

std::runtime_error failure(const std::string& what, const plat::Error& error) {
    return std::runtime_error(what + ": " + error.description);
}

double peakOf(std::span<const float> signal) {
    double peak = 0;
    for (float x : signal) peak = std::max(peak, double(std::fabs(x)));
    return peak;
}

double decibelsOfAmplitude(double ratio) {
    return decibels(ratio * ratio);
}

std::span<const float> from(const std::vector<float>& signal, std::size_t start) {
    return std::span<const float>(signal).subspan(std::min(start, signal.size()));
}

double crest(std::span<const float> signal) {
    return decibelsOfAmplitude(peakOf(signal) / rms(signal));
}

// RMS of the marked samples from `start` on.
double rmsWhere(const std::vector<float>& signal, const std::vector<bool>& marks, std::size_t start) {
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = start; i < signal.size(); ++i)
        if (marks[i]) {
            sum += double(signal[i]) * double(signal[i]);
            ++n;
        }
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

Channels both(const std::vector<float>& mono) {
    return {mono, mono};
}

} // namespace

double Measurement::largestDeviation() const {
    double largest = 0;
    for (int b = 0; b < kThirdOctaves; ++b)
        if (thirdOctaveCentre(b) > 60.0)
            largest = std::max(largest, std::fabs(response[medium][std::size_t(b)]));
    return largest;
}

double Measurement::ratio(Level a, Level b) const {
    return (kLevels[b] - kLevels[a]) / (kLevels[b] + pinkLoudness[b] - kLevels[a] - pinkLoudness[a]);
}

std::shared_ptr<Unit> makeUnit() {
    QuietConsole quietConsole;
    auto made = Unit::make(Unit::componentDescriptionOfEffect());
    if (!made.ok()) throw failure("the audio unit could not be made", made.error());
    return made.value();
}

void choose(Unit& unit, const plat::AUAudioUnitPreset& preset) {
    unit.factoryPresets();
    if (auto chosen = unit.setCurrentPreset(preset); !chosen.ok())
        throw failure("the preset '" + preset.name + "' could not be chosen", chosen.error());
}

Channels render(Unit& unit, const Setup& setup, const std::vector<float>& input) {
    QuietConsole quietConsole;
    // Allocating again returns the engine to rest, as a fresh unit would be.
    if (unit.renderResourcesAllocated()) unit.deallocateRenderResources();
    if (auto allocated = unit.allocateRenderResources(); !allocated.ok())
        throw failure("the audio unit could not allocate its resources", allocated.error());
    if (setup) setup(unit);

    const auto block = unit.renderBlock();
    Channels out(2, std::vector<float>(input.size()));
    std::size_t position = 0;
    const plat::AURenderPullInputBlock pull =
        [&](plat::AudioUnitRenderActionFlags*, const plat::AudioTimeStamp*, plat::AUAudioFrameCount frames,
            plat::NSInteger, plat::AudioBufferList* list) -> plat::AUAudioUnitStatus {
        for (std::uint32_t c = 0; c < list->mNumberBuffers; ++c)
            std::copy_n(input.data() + position, frames, static_cast<float*>(list->mBuffers[c].mData));
        return plat::noErr;
    };
    while (position < input.size()) {
        const auto frames = std::uint32_t(std::min<std::size_t>(kCycle, input.size() - position));
        plat::AudioBufferList list;
        list.mNumberBuffers = 2;
        for (std::uint32_t c = 0; c < 2; ++c) list.mBuffers[c] = {1, frames * 4u, out[c].data() + position};
        plat::AudioTimeStamp timestamp;
        timestamp.mSampleTime = double(position);
        timestamp.mFlags = plat::kAudioTimeStampSampleTimeValid;
        plat::AudioUnitRenderActionFlags flags = 0;
        if (const auto status = block(&flags, &timestamp, frames, 0, &list, nullptr, &pull);
            status != plat::noErr)
            throw std::runtime_error("the audio unit failed to render (status " + std::to_string(status) +
                                     ")");
        position += frames;
    }
    unit.deallocateRenderResources();
    return out;
}

PresetMeter::PresetMeter(Settings settings) : settings_(settings) {
    const auto frames = std::size_t(settings_.seconds * kMeasureRate);
    // Distortion is read over whole periods of the tone: 0.2 s holds 11 of 55 Hz.
    if (settings_.settleSeconds < 0 || frames < settledStart() + std::size_t(0.4 * kMeasureRate))
        throw std::invalid_argument("the signals are too short to measure after the settling time");
    for (Level level : {quiet, medium, loud}) {
        pink_[level] = pinkNoise(frames, kLevels[level]);
        sine_[level] = sine(frames, kToneHz, kLevels[level]);
        pinkPowers_[level] = thirdOctavePowers(from(pink_[level], settledStart()), kMeasureRate);
        pinkLoudness_[level] = integratedLoudness(both(pink_[level]), settledStart());
    }
    loop_ = drumLoop(frames, kLoopPeak);
    voice_ = sungVowel(frames, kVoiceLevel);
    bass_ = bassLine(frames, kBassLevel);
    loopLoudness_ = integratedLoudness(both(loop_.signal), settledStart());
    loopCrest_ = crest(from(loop_.signal, settledStart()));
    floorLevel_ = rmsWhere(loop_.signal, loop_.gaps, settledStart());
    voiceLoudness_ = integratedLoudness(both(voice_), settledStart());
    bassLoudness_ = integratedLoudness(both(bass_), settledStart());
}

std::size_t PresetMeter::settledStart() const {
    return std::size_t(settings_.settleSeconds * kMeasureRate);
}

Measurement PresetMeter::measure(std::string name, const Setup& setup) const {
    const auto unit = makeUnit();
    const std::size_t start = settledStart();
    Measurement m;
    m.name = std::move(name);
    for (Level level : {quiet, medium, loud}) {
        const auto out = render(*unit, setup, pink_[level]);
        const auto powers = thirdOctavePowers(from(out[0], start), kMeasureRate);
        for (std::size_t b = 0; b < kThirdOctaves; ++b)
            m.response[level][b] = decibels(powers[b] / pinkPowers_[level][b]);
        m.pinkLoudness[level] = integratedLoudness(out, start) - pinkLoudness_[level];
        m.pinkPeak[level] = std::max(peakOf(out[0]), peakOf(out[1]));
        m.pumping[level] = gainSwing(both(pink_[level]), out, start);
        m.distortion[level] = 100.0 * harmonicDistortion(from(render(*unit, setup, sine_[level])[0], start),
                                                         kToneHz, kMeasureRate);
    }
    const auto loop = render(*unit, setup, loop_.signal);
    m.loopLoudness = integratedLoudness(loop, settledStart()) - loopLoudness_;
    m.loopPeak = std::max(peakOf(loop[0]), peakOf(loop[1]));
    m.crestChange = crest(from(loop[0], start)) - loopCrest_;
    m.floorChange = decibelsOfAmplitude(rmsWhere(loop[0], loop_.gaps, start) / floorLevel_);
    m.voiceLoudness = integratedLoudness(render(*unit, setup, voice_), start) - voiceLoudness_;
    m.bassLoudness = integratedLoudness(render(*unit, setup, bass_), start) - bassLoudness_;
    return m;
}

std::vector<Measurement> PresetMeter::measureFactoryPresets() const {
    std::vector<Measurement> all;
    all.push_back(measure("bypass", [](Unit& unit) { unit.setShouldBypassEffect(true); }));
    all.push_back(measure("default state", nullptr));
    std::vector<plat::AUAudioUnitPreset> presets;
    {
        QuietConsole quietConsole;
        presets = makeUnit()->factoryPresets();
    }
    for (const auto& preset : presets)
        all.push_back(measure(preset.name, [preset](Unit& unit) { choose(unit, preset); }));
    return all;
}

void printReport(std::ostream& out, const std::vector<Measurement>& measurements) {
    out << "Everything against bypass, from the second second on (peaks from the start), at 48 kHz.\n"
           "pink -30/-20/-10: loudness on pink noise at that many dBFS RMS, LU; loop: on a drum loop\n"
           "peaking at -3 dBFS, LU; peak: its largest output sample; crest, floor: its crest factor and\n"
           "the floor between its hits, dB; voice, bass: loudness on a sung vowel and a bass line at\n"
           "-20 dBFS RMS, LU; dev: the largest third-octave deviation from 63 Hz to 16 kHz on the -20\n"
           "dBFS pink noise, dB; pump: the largest K-weighted gain swing on the pink noise, dB; thd: the\n"
           "largest distortion of a 55 Hz sine at -30/-20/-10 dBFS RMS, per cent.\n\n";
    char line[512];
    std::snprintf(line, sizeof line, "%-3s %-20s %7s %7s %7s %7s %6s %6s %6s %6s %6s %5s %5s %5s\n", "#",
                  "state", "pink-30", "pink-20", "pink-10", "loop", "peak", "crest", "floor", "voice", "bass",
                  "dev", "pump", "thd");
    out << line;
    for (std::size_t i = 0; i < measurements.size(); ++i) {
        const auto& m = measurements[i];
        std::snprintf(line, sizeof line,
                      "%-3zu %-20s %+7.2f %+7.2f %+7.2f %+7.2f %6.3f %+6.2f %+6.1f %+6.2f %+6.2f %5.2f %5.2f "
                      "%5.2f\n",
                      i, m.name.c_str(), m.pinkLoudness[quiet], m.pinkLoudness[medium], m.pinkLoudness[loud],
                      m.loopLoudness, m.loopPeak, m.crestChange, m.floorChange, m.voiceLoudness,
                      m.bassLoudness, m.largestDeviation(),
                      *std::max_element(m.pumping.begin(), m.pumping.end()),
                      *std::max_element(m.distortion.begin(), m.distortion.end()));
        out << line;
    }
    out << "\nDynamics: the K-weighted gain swing on pink noise and the 55 Hz sine's distortion at -30,\n"
           "-20 and -10 dBFS; the input change over the output change from -30 and from -20 to -10 dBFS;\n"
           "the largest output sample on the -10 dBFS pink noise.\n";
    std::snprintf(line, sizeof line, "%-3s %-20s %17s %17s %6s %6s %6s\n", "#", "state", "pump, dB", "thd, %",
                  "r30", "r20", "peak");
    out << line;
    for (std::size_t i = 0; i < measurements.size(); ++i) {
        const auto& m = measurements[i];
        std::snprintf(line, sizeof line,
                      "%-3zu %-20s %5.2f %5.2f %5.2f %5.2f %5.2f %5.2f %6.2f %6.2f %6.3f\n", i,
                      m.name.c_str(), m.pumping[quiet], m.pumping[medium], m.pumping[loud],
                      m.distortion[quiet], m.distortion[medium], m.distortion[loud], m.ratio(quiet, loud),
                      m.ratio(medium, loud), m.pinkPeak[loud]);
        out << line;
    }
    for (Level level : {quiet, medium, loud}) {
        std::snprintf(
            line, sizeof line,
            "\nThird-octave levels against bypass, pink noise at %+.0f dBFS, dB (columns: # above)\n%-6s",
            kLevels[level], "Hz");
        out << line;
        for (std::size_t i = 0; i < measurements.size(); ++i) {
            std::snprintf(line, sizeof line, " %6zu", i);
            out << line;
        }
        out << '\n';
        for (int b = 0; b < kThirdOctaves; ++b) {
            std::snprintf(line, sizeof line, "%-6s", thirdOctaveLabel(b));
            out << line;
            for (const auto& m : measurements) {
                std::snprintf(line, sizeof line, " %+6.1f", m.response[level][std::size_t(b)]);
                out << line;
            }
            out << '\n';
        }
    }
}

} // namespace presetmeasure
