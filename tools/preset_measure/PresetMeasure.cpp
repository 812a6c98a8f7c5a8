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

using Unit = YUX_Sorvane_Extension_AudioUnit;

constexpr double kFirstBurst = 0.25, kBurstPeriod = 0.5, kBurstSeconds = 0.1, kFloorSeconds = 0.2;
constexpr double kBurstRamp = 0.0005; // a drum-like onset, without a click of its own
constexpr std::uint32_t kCycle = 512;

double amplitude(double dBFS) {
    return std::pow(10.0, dBFS / 20.0);
}

double largest(std::span<const float> signal) {
    double peak = 0;
    for (float x : signal) peak = std::max(peak, double(std::fabs(x)));
    return peak;
}

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

} // namespace

PresetMeter::PresetMeter(Settings settings) : settings_(settings) {
    const double rate = settings_.sampleRate;
    const auto frames = std::size_t(settings_.seconds * rate);

    const auto pink = shapedNoise(frames, rate, 1, pinkShape());
    const double unit = 1.0 / rms(std::span<const double>(pink));
    for (Level level : {quiet, loud}) pink_[level] = scaled(pink, unit * amplitude(kPinkLevels[level]));
    // Same phases, one octave raised: apart from that octave the signal is the quiet pink noise.
    for (Octave octave : {bassOctave, midOctave}) {
        const auto& [low, high] = kRaisedOctaves[octave];
        raised_[octave] = scaled(shapedNoise(frames, rate, 1, pinkShape(kRaise, low, high)),
                                 unit * amplitude(kPinkLevels[quiet]));
    }

    // Every hit is the same stretch of pink noise, as a drum loop repeats one sample, so a shorter
    // run meets the same peaks as a longer one.
    const auto floor = shapedNoise(frames, rate, 2, pinkShape());
    burstLength_ = std::size_t(kBurstSeconds * rate);
    floorLength_ = std::size_t(kFloorSeconds * rate);
    const auto noise = shapedNoise(burstLength_, rate, 3, pinkShape());
    const double ramp = kBurstRamp * rate;
    std::vector<double> hit(burstLength_);
    double hitPeak = 0;
    for (std::size_t i = 0; i < burstLength_; ++i) {
        hit[i] = noise[i] * std::min({1.0, (double(i) + 1) / ramp, double(burstLength_ - i) / ramp});
        hitPeak = std::max(hitPeak, std::fabs(hit[i]));
    }
    const double floorGain = amplitude(kBurstFloor) / rms(std::span<const double>(floor));
    std::vector<double> mixed(frames);
    for (std::size_t i = 0; i < frames; ++i) mixed[i] = floor[i] * floorGain;
    for (double t = kFirstBurst; (t + kBurstSeconds) * rate <= double(frames); t += kBurstPeriod) {
        const auto onset = std::size_t(std::lround(t * rate));
        burstOnsets_.push_back(onset);
        for (std::size_t i = 0; i < burstLength_; ++i)
            mixed[onset + i] += hit[i] * amplitude(kBurstPeak) / hitPeak;
    }
    double peak = 0;
    for (double x : mixed) peak = std::max(peak, std::fabs(x));
    bursts_ = scaled(mixed, amplitude(kBurstPeak) / peak);

    // Settled bursts (group 0) and the stretch of floor before each (group 1).
    burstGroups_.assign(frames, -1);
    bool settledBurst = false;
    for (std::size_t onset : burstOnsets_) {
        if (onset < settledStart() + floorLength_) continue;
        std::fill_n(burstGroups_.begin() + std::ptrdiff_t(onset), burstLength_, 0);
        std::fill_n(burstGroups_.begin() + std::ptrdiff_t(onset - floorLength_), floorLength_, 1);
        settledBurst = true;
    }
    if (!settledBurst)
        throw std::invalid_argument("the signals are too short to hold a burst after the settling time");

    for (Level level : {quiet, loud}) pinkPowers_[level] = thirdOctavePowers(settled(pink_[level]), rate);
    burstPowers_ = thirdOctavePowersByGroup(bursts_, rate, burstGroups_);
}

std::span<const float> PresetMeter::settled(const std::vector<float>& signal) const {
    return std::span<const float>(signal).subspan(std::min(settledStart(), signal.size()));
}

std::size_t PresetMeter::settledStart() const {
    return std::size_t(settings_.settleSeconds * settings_.sampleRate);
}

std::shared_ptr<YUX_Sorvane_Extension_AudioUnit> PresetMeter::makeUnit() {
    QuietConsole quietConsole;
    auto made = Unit::make(Unit::componentDescriptionOfEffect());
    if (!made.ok()) throw failure("the audio unit could not be made", made.error());
    return made.value();
}

std::vector<float> PresetMeter::render(Unit& unit, const Setup& setup,
                                       const std::vector<float>& input) const {
    QuietConsole quietConsole;
    // Allocating again returns the engine to rest, as a fresh unit would be.
    if (unit.renderResourcesAllocated()) unit.deallocateRenderResources();
    if (auto allocated = unit.allocateRenderResources(); !allocated.ok())
        throw failure("the audio unit could not allocate its resources", allocated.error());
    if (setup) setup(unit);

    const auto block = unit.renderBlock();
    std::vector<float> left(input.size()), right(input.size());
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
        plat::AudioBufferList out;
        out.mNumberBuffers = 2;
        out.mBuffers[0] = {1, frames * 4u, left.data() + position};
        out.mBuffers[1] = {1, frames * 4u, right.data() + position};
        plat::AudioTimeStamp timestamp;
        timestamp.mSampleTime = double(position);
        timestamp.mFlags = plat::kAudioTimeStampSampleTimeValid;
        plat::AudioUnitRenderActionFlags flags = 0;
        if (const auto status = block(&flags, &timestamp, frames, 0, &out, nullptr, &pull);
            status != plat::noErr)
            throw std::runtime_error("the audio unit failed to render (status " + std::to_string(status) +
                                     ")");
        position += frames;
    }
    unit.deallocateRenderResources();
    return left; // both channels get the same input and are processed alike
}

Measurement PresetMeter::measure(std::string name, const Setup& setup) const {
    const auto unit = makeUnit();
    Measurement m;
    m.name = std::move(name);
    const double rate = settings_.sampleRate;

    std::array<ThirdOctaves, 2> pinkOut{};
    for (Level level : {quiet, loud}) {
        const auto out = render(*unit, setup, pink_[level]);
        pinkOut[level] = thirdOctavePowers(settled(out), rate);
        for (std::size_t b = 0; b < kThirdOctaves; ++b)
            m.response[level][b] = decibels(pinkOut[level][b] / pinkPowers_[level][b]);
        m.gain[level] = 2.0 * decibels(rms(settled(out)) / rms(settled(pink_[level])));
        m.peak[level] = largest(settled(out));
    }

    const auto out = render(*unit, setup, bursts_);
    const auto outRange = thirdOctavePowersByGroup(out, rate, burstGroups_);
    double change = 0;
    for (std::size_t b = 0; b < kThirdOctaves; ++b)
        change +=
            decibels(outRange[0][b] / outRange[1][b]) - decibels(burstPowers_[0][b] / burstPowers_[1][b]);
    m.burstRangeChange = change / kThirdOctaves;
    m.burstPeak = largest(out);

    for (Octave octave : {bassOctave, midOctave}) {
        const auto raisedOut = thirdOctavePowers(settled(render(*unit, setup, raised_[octave])), rate);
        const auto& [low, high] = kRaisedOctaves[octave];
        double inside = 0, outside = 0;
        int insideCount = 0, outsideCount = 0;
        for (int b = 0; b < kThirdOctaves; ++b) {
            const double f = thirdOctaveCentre(b);
            const double change = decibels(raisedOut[std::size_t(b)] / pinkOut[quiet][std::size_t(b)]);
            if (f >= low && f <= high) {
                inside += change;
                ++insideCount;
            } else if (f < low / std::cbrt(2.0) || f > high * std::cbrt(2.0)) { // neighbours excluded
                outside += change;
                ++outsideCount;
            }
        }
        m.octaveExcess[octave] = inside / insideCount - outside / outsideCount;
    }
    return m;
}

std::vector<Measurement> PresetMeter::measureFactoryPresets() const {
    std::vector<Measurement> all;
    all.push_back(measure("default state", nullptr));
    std::vector<plat::AUAudioUnitPreset> presets;
    {
        QuietConsole quietConsole;
        presets = makeUnit()->factoryPresets();
    }
    for (const auto& preset : presets)
        all.push_back(measure(preset.name, [preset](Unit& unit) {
            unit.factoryPresets(); // a host lists the presets before it chooses one
            if (auto chosen = unit.setCurrentPreset(preset); !chosen.ok())
                throw failure("the preset '" + preset.name + "' could not be chosen", chosen.error());
        }));
    return all;
}

void printReport(std::ostream& out, const std::vector<Measurement>& measurements) {
    if (measurements.empty()) return;
    const Measurement& reference = measurements.front();
    out << "Each signal is rendered from rest at 48 kHz; gains and spectra are taken after the first "
           "second.\n"
           "gain-20, gain-6: output over input on pink noise at -20 and -6 dBFS RMS, dB; vs #0: gain-20\n"
           "against state 0; peak-6: largest settled output sample on the -6 dBFS pink noise; range: how\n"
           "much further the bursts stand out of the -50 dBFS floor at the output than at the input, dB;\n"
           "b.peak: largest output sample of the bursts, which peak at -1 dBFS; bass+12, mid+12: how far\n"
           "an octave raised 12 dB (56-112 Hz, 708-1413 Hz) stands out of the rest at the output, dB.\n\n";
    char line[512];
    std::snprintf(line, sizeof line, "%-3s %-28s %8s %8s %8s %8s %8s %8s %8s %8s\n", "#", "state", "gain-20",
                  "vs #0", "gain-6", "peak-6", "range", "b.peak", "bass+12", "mid+12");
    out << line;
    for (std::size_t i = 0; i < measurements.size(); ++i) {
        const auto& m = measurements[i];
        std::snprintf(
            line, sizeof line, "%-3zu %-28s %+8.2f %+8.2f %+8.2f %8.3f %+8.2f %8.3f %+8.2f %+8.2f\n", i,
            m.name.c_str(), m.gain[quiet], m.gain[quiet] - reference.gain[quiet], m.gain[loud], m.peak[loud],
            m.burstRangeChange, m.burstPeak, m.octaveExcess[bassOctave], m.octaveExcess[midOctave]);
        out << line;
    }
    for (int level : {quiet, loud}) {
        std::snprintf(line, sizeof line,
                      "\nThird-octave response at %+.0f dBFS pink, dB (columns: # above)\n%-6s",
                      kPinkLevels[std::size_t(level)], "Hz");
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
                std::snprintf(line, sizeof line, " %+6.1f", m.response[std::size_t(level)][std::size_t(b)]);
                out << line;
            }
            out << '\n';
        }
    }
}

} // namespace presetmeasure
