// The instruments. Each renders one note on its own, from physical or classic synthesis
// recipes: drums from pitched sines, metallic square clusters and shaped noise; plucked
// strings as Karplus-Strong loops; bowed strings as a two-delay waveguide with a friction
// curve; voices as a glottal buzz through five vowel formants that glide along a path.
#include "Dsp.h"
#include "Voice.h"

#include <algorithm>
#include <cstring>

namespace democlips {

namespace {

size_t seconds(float s) {
    return size_t(std::max(0.0f, s) * kRate);
}

// Writes a note's samples at its pan, never past the room it was given.
struct Out {
    float* left;
    float* right;
    size_t room;
    PanGains gains;
    void add(size_t i, float mono) {
        left[i] += mono * gains.left;
        right[i] += mono * gains.right;
    }
    void add(size_t i, float l, float r) {
        left[i] += l * gains.left;
        right[i] += r * gains.right;
    }
    size_t limit(size_t frames) const { return std::min(frames, room); }
};

// Attack, hold for the note, release: the shape of every sustained instrument.
struct Envelope {
    size_t attack, hold, release;
    size_t total() const { return hold + release; }
    float rise(size_t i) const {
        if (attack == 0 || i >= attack) return 1.0f;
        const float x = float(i) / float(attack);
        return x * x * (3.0f - 2.0f * x);
    }
    float at(size_t i) const {
        if (i < hold) return rise(i);
        if (release == 0 || i >= hold + release) return 0.0f;
        const float r = 1.0f - float(i - hold) / float(release);
        return rise(hold) * r * r;
    }
};

Envelope envelope(const Voice& v, const Note& n) {
    return {seconds(v.attack), std::max<size_t>(n.length, 1), seconds(v.release)};
}

// An exponential decay reaching -60 dB after `seconds`, one multiply a sample.
struct Decay {
    float value = 1.0f, factor;
    explicit Decay(float seconds, float start = 1.0f)
        : value(start), factor(std::exp(-6.9f / (seconds * kRate))) {}
    float tick() {
        const float v = value;
        value *= factor;
        return v;
    }
};

void kick(const Voice& v, const Note& n, Rng& rng, Out& out) {
    const float end = 42.0f + 25.0f * v.tone, ring = 0.25f + 0.5f * v.decay;
    const size_t len = out.limit(seconds(ring));
    Decay body(ring), sweep(0.08f), click(0.006f);
    OnePole hp;
    hp.setCutoff(900.0f);
    double phase = 0;
    const float drive = 1.4f + 0.8f * n.velocity;
    for (size_t i = 0; i < len; ++i) {
        phase += end * (1.0f + 3.2f * sweep.tick()) / kRate;
        const float s =
            sine(phase) * body.tick() + hp.highpass(rng.bipolar()) * click.tick() * (0.2f + 0.5f * v.tone);
        out.add(i, softClip(drive * s) * n.velocity);
    }
}

void snare(const Voice& v, const Note& n, Rng& rng, Out& out) {
    const float ring = 0.2f + 0.4f * v.decay;
    const size_t len = out.limit(seconds(ring));
    Decay low(0.16f), high(0.1f), noise(ring), pitch(0.03f), crack(0.004f);
    Svf hpL, hpR;
    hpL.set(1400.0f, 0.7f);
    hpR.set(1400.0f, 0.7f);
    OnePole lpL, lpR;
    lpL.setCutoff(7000.0f + 5000.0f * n.velocity);
    lpR.setCutoff(7000.0f + 5000.0f * n.velocity);
    double p1 = 0, p2 = 0;
    const float snap = 0.5f + 0.7f * v.tone;
    for (size_t i = 0; i < len; ++i) {
        const float bend = 1.0f + 0.25f * pitch.tick();
        p1 += 185.0f * bend / kRate;
        p2 += 330.0f * bend / kRate;
        const float body = 0.7f * sine(p1) * low.tick() + 0.35f * sine(p2) * high.tick();
        const float env = noise.tick(), c = crack.tick();
        const float shared = rng.bipolar();
        hpL.tick(0.7f * shared + 0.3f * rng.bipolar());
        hpR.tick(0.7f * shared + 0.3f * rng.bipolar());
        const float nl = lpL.lowpass(hpL.high) * (env * snap + c),
                    nr = lpR.lowpass(hpR.high) * (env * snap + c);
        out.add(i, softClip(1.3f * (body + nl)) * n.velocity, softClip(1.3f * (body + nr)) * n.velocity);
    }
}

void clap(const Voice& v, const Note& n, Rng& rng, Out& out) {
    const float ring = 0.25f + 0.4f * v.decay;
    const size_t len = out.limit(seconds(ring + 0.04f)), haas = seconds(0.0006f);
    Svf bp;
    bp.set(1100.0f + 800.0f * v.tone, 1.6f);
    std::vector<float> mono(len);
    for (size_t i = 0; i < len; ++i) {
        const float t = float(i) / kRate;
        float env = 0;
        for (float burst : {0.0f, 0.011f, 0.022f})
            if (t >= burst) env = std::max(env, std::exp(-(t - burst) / 0.004f));
        if (t >= 0.03f) env = std::max(env, 0.6f * std::exp(-(t - 0.03f) * 6.9f / ring));
        bp.tick(rng.bipolar());
        mono[i] = bp.bandNormalised() * env * 3.2f * n.velocity;
    }
    for (size_t i = 0; i < len; ++i) out.add(i, mono[i], i >= haas ? mono[i - haas] : 0.0f);
}

// Six detuned square waves through a high band: the metallic ring of hats and cymbals.
void metal(const Voice& v, const Note& n, Rng& rng, Out& out, float ring, float band, float scale) {
    static constexpr float kRatios[6] = {205.3f, 304.4f, 369.6f, 522.7f, 540.0f, 800.0f};
    const size_t len = out.limit(seconds(ring));
    Square osc[6];
    for (auto& o : osc) o.phase = rng.uniform();
    Svf bpL, bpR;
    bpL.set(band, 1.1f);
    bpR.set(band, 1.1f);
    OnePole hpL, hpR;
    hpL.setCutoff(band * 0.7f);
    hpR.setCutoff(band * 0.7f);
    Decay env(ring), strike(0.002f);
    const float tune = scale * (1.0f + 0.5f * v.tone);
    for (size_t i = 0; i < len; ++i) {
        float m = 0;
        for (int k = 0; k < 6; ++k) m += osc[k].tick(kRatios[k] * tune);
        m *= 1.0f / 6.0f;
        const float e = env.tick() + strike.tick();
        bpL.tick(m + 0.5f * rng.bipolar());
        bpR.tick(m + 0.5f * rng.bipolar());
        out.add(i, hpL.highpass(bpL.bandNormalised()) * e * 3.2f * n.velocity,
                hpR.highpass(bpR.bandNormalised()) * e * 3.2f * n.velocity);
    }
}

void shaker(const Voice& v, const Note& n, Rng& rng, Out& out) {
    const float ring = 0.08f + 0.15f * v.decay;
    const size_t len = out.limit(seconds(ring + 0.01f)), rise = seconds(0.007f);
    Svf l, r;
    l.set(5500.0f + 2500.0f * v.tone, 1.4f);
    r.set(5500.0f + 2500.0f * v.tone, 1.4f);
    Decay env(ring);
    for (size_t i = 0; i < len; ++i) {
        const float e = (i < rise ? float(i) / float(rise) : env.tick()) * n.velocity * 1.5f;
        l.tick(rng.bipolar());
        r.tick(rng.bipolar());
        out.add(i, l.bandNormalised() * e, r.bandNormalised() * e);
    }
}

void tom(const Voice& v, const Note& n, Rng& rng, Out& out) {
    const float hz = n.hz > 0 ? n.hz : 80.0f + 170.0f * v.tone, ring = 0.3f + 0.6f * v.decay;
    const size_t len = out.limit(seconds(ring));
    Decay body(ring), over(ring * 0.4f), bend(0.12f), click(0.005f);
    double p1 = 0, p2 = 0;
    for (size_t i = 0; i < len; ++i) {
        const float b = 1.0f + 0.45f * bend.tick();
        p1 += hz * b / kRate;
        p2 += 1.58f * hz * b / kRate;
        const float s =
            sine(p1) * body.tick() + 0.3f * sine(p2) * over.tick() + 0.2f * rng.bipolar() * click.tick();
        out.add(i, softClip(1.5f * s) * n.velocity);
    }
}

void rim(const Voice& v, const Note& n, Rng& rng, Out& out) {
    const size_t len = out.limit(seconds(0.12f));
    Resonator a, b;
    a.set(1700.0f + 800.0f * v.tone, 0.04f + 0.05f * v.decay);
    b.set(520.0f, 0.07f + 0.05f * v.decay);
    Decay hit(0.002f);
    for (size_t i = 0; i < len; ++i) {
        const float x = rng.bipolar() * hit.tick();
        out.add(i, (0.03f * a.tick(x) + 0.02f * b.tick(x)) * n.velocity);
    }
}

void acidBass(const Voice& v, const Note& n, Rng&, Out& out) {
    const Envelope env{seconds(0.002f), n.length, seconds(0.015f)};
    const size_t len = out.limit(env.total());
    Saw saw;
    Svf f1, f2;
    Decay filter(0.15f + 1.2f * v.decay);
    const bool accent = n.velocity > 0.9f;
    const float depth = (2.0f + 14.0f * v.tone) * (accent ? 1.6f : 1.0f), q = std::max(0.6f, v.q);
    for (size_t i = 0; i < len; ++i) {
        const float f = filter.tick();
        if (i % 16 == 0) {
            const float cut = n.hz * (1.5f + depth * f);
            f1.set(cut, accent ? q * 1.4f : q);
            f2.set(cut, 0.6f);
        }
        f1.tick(saw.tick(n.hz));
        f2.tick(f1.low);
        out.add(i, softClip(1.6f * f2.low) * env.at(i) * (0.5f + 0.5f * n.velocity));
    }
}

void subBass(const Voice& v, const Note& n, Rng&, Out& out) {
    const Envelope env = envelope(v, n);
    const size_t len = out.limit(env.total());
    Decay punch(0.05f);
    double phase = 0;
    for (size_t i = 0; i < len; ++i) {
        phase += n.hz * (1.0f + 0.06f * punch.tick()) / kRate;
        const float s = sine(phase) + 0.35f * v.tone * sine(2.0 * phase) + 0.15f * v.tone * sine(3.0 * phase);
        out.add(i, softClip(1.3f * s) * env.at(i) * n.velocity * 0.8f);
    }
}

void fmBass(const Voice& v, const Note& n, Rng&, Out& out) {
    const Envelope env = envelope(v, n);
    const size_t len = out.limit(env.total());
    Decay index(0.15f + 0.6f * v.decay), level(1.5f + 2.0f * v.decay);
    double phase = 0;
    const float depth = (0.5f + 3.5f * v.tone) * n.velocity;
    for (size_t i = 0; i < len; ++i) {
        phase += n.hz / kRate;
        const float mod = (0.25f + depth * index.tick()) * sine(phase) / kTwoPi;
        out.add(i, sine(phase + mod) * env.at(i) * (0.5f + 0.5f * level.tick()) * n.velocity * 0.8f);
    }
}

// Karplus-Strong string: a noise burst shaped by the pick position circulating in a loop
// whose averaging filter and allpass tuning set decay and pitch. Note-off damps the string.
void pluck(const Voice& v, const Note& n, Rng& rng, Out& out) {
    const float period = kRate / n.hz - 0.5f;
    size_t delay = size_t(period);
    float frac = period - float(delay);
    if (frac < 0.2f && delay > 2) {
        --delay;
        frac += 1.0f;
    }
    const float c = (1.0f - frac) / (1.0f + frac);
    const float t60 = (0.8f + 6.0f * v.decay) * std::min(1.0f, std::pow(220.0f / n.hz, 0.3f));
    const float sustain = std::pow(0.001f, 1.0f / (n.hz * t60));
    const float damped = std::pow(0.001f, 1.0f / (n.hz * 0.08f));
    const size_t held = n.length + seconds(v.release);
    const size_t len = out.limit(std::min(held + seconds(0.15f), seconds(t60)));

    std::vector<float> line(delay);
    OnePole shape;
    shape.setCutoff(n.hz * (1.5f + 30.0f * v.tone * n.velocity));
    for (auto& s : line) s = shape.lowpass(rng.bipolar());
    const size_t pick = std::max<size_t>(1, size_t(0.13f * float(delay)));
    for (size_t i = line.size(); i-- > pick;) line[i] -= 0.9f * line[i - pick];
    float mean = 0;
    for (float s : line) mean += s;
    mean /= float(line.size());
    for (auto& s : line) s = (s - mean) * n.velocity;

    float apIn = 0, apOut = 0, prev = 0;
    OnePole dc;
    dc.setCutoff(25.0f);
    size_t at = 0;
    for (size_t i = 0; i < len; ++i) {
        const float y = line[at];
        const float ap = c * y + apIn - c * apOut;
        apIn = y;
        apOut = ap;
        const float g = i < held ? sustain : damped;
        line[at] = 0.5f * (ap + prev) * g;
        prev = ap;
        at = at + 1 == line.size() ? 0 : at + 1;
        out.add(i, dc.highpass(y) * 1.1f);
    }
}

// Bowed string: the bow drives the junction of two delay lines (to nut and bridge) through
// a friction curve, so the tone sticks and slips like a real string; a few body modes colour it.
void bowed(const Voice& v, const Note& n, Rng& rng, Out& out) {
    constexpr float kBeta = 0.127236f;
    const Envelope env = envelope(v, n);
    const size_t len = out.limit(env.total() + seconds(0.3f));
    const float base = kRate / n.hz - 1.6f;
    Delay neck(size_t(base * 1.2f) + 8), bridge(size_t(base * kBeta) + 8);
    const float pole = 0.75f - 0.2f * 22050.0f / kRate;
    float stringState = 0;
    const float slope = 5.0f - 4.0f * (0.45f + 0.35f * v.tone);
    const float pressure = 0.03f + 0.2f * n.velocity;
    static constexpr float kBody[4][2] = {{280.0f, 3.0f}, {470.0f, 4.0f}, {1150.0f, 2.5f}, {2700.0f, 2.0f}};
    Svf body[4];
    for (int k = 0; k < 4; ++k) body[k].set(kBody[k][0], kBody[k][1]);
    OnePole dc;
    dc.setCutoff(30.0f);
    for (size_t i = 0; i < len; ++i) {
        const float t = float(i) / kRate;
        const float onset = std::clamp((t - 0.25f) / 0.5f, 0.0f, 1.0f);
        const float semis = v.vibrato * onset * sine(5.4 * t);
        const float stretch = std::exp2(-semis / 12.0f);
        const float bridgeOut = bridge.read(base * kBeta);
        const float neckOut = neck.read(base * (stretch - kBeta));
        stringState = 0.95f * (1.0f - pole) * bridgeOut + pole * stringState;
        const float bridgeRefl = -stringState, nutRefl = -neckOut;
        const float bow = pressure * env.at(i) * (1.0f + v.breath * 0.3f * rng.bipolar());
        const float dv = bow - (bridgeRefl + nutRefl);
        const float x = std::fabs((dv + 0.001f) * slope) + 0.75f;
        const float friction = std::clamp(1.0f / (x * x * x * x), 0.01f, 0.98f);
        const float pushed = dv * friction;
        neck.write(bridgeRefl + pushed);
        bridge.write(nutRefl + pushed);
        float s = 0.4f * bridgeOut;
        for (auto& b : body) {
            b.tick(bridgeOut);
            s += 0.5f * b.bandNormalised();
        }
        out.add(i, dc.highpass(s) * 2.0f);
    }
}

void pad(const Voice& v, const Note& n, Rng& rng, Out& out) {
    static constexpr float kDetune[7] = {-19.0f, -12.0f, -5.0f, 0.0f, 6.0f, 13.0f, 20.0f};
    const Envelope env = envelope(v, n);
    const size_t len = out.limit(env.total());
    Saw saw[7];
    PanGains spread[7];
    float hz[7];
    for (int k = 0; k < 7; ++k) {
        saw[k].phase = rng.uniform();
        hz[k] = n.hz * std::exp2(kDetune[k] / 1200.0f);
        spread[k] = pan(0.85f * (k % 2 ? 1.0f : -1.0f) * float(std::abs(k - 3)) / 3.0f);
    }
    Svf l, r;
    const float span = float(std::max<size_t>(n.length, 1));
    for (size_t i = 0; i < len; ++i) {
        if (i % 32 == 0) {
            const float progress = std::min(1.0f, float(i) / span);
            const float cut = n.hz * (1.5f + 10.0f * v.tone) * std::exp2(v.sweep * progress);
            l.set(cut, v.q);
            r.set(cut, v.q);
        }
        float sl = 0, sr = 0;
        for (int k = 0; k < 7; ++k) {
            const float s = saw[k].tick(hz[k]);
            sl += s * spread[k].left;
            sr += s * spread[k].right;
        }
        l.tick(sl);
        r.tick(sr);
        const float e = env.at(i) * n.velocity * 0.3f;
        out.add(i, l.low * e, r.low * e);
    }
}

void organ(const Voice& v, const Note& n, Rng& rng, Out& out) {
    static constexpr float kRatio[9] = {0.5f, 1.0f, 1.5f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f, 8.0f};
    static constexpr float kMellow[9] = {0.8f, 1.0f, 0.6f, 0.5f, 0.2f, 0.1f, 0.0f, 0.0f, 0.0f};
    static constexpr float kBright[9] = {0.6f, 1.0f, 0.8f, 0.8f, 0.5f, 0.5f, 0.3f, 0.3f, 0.4f};
    const Envelope env{seconds(0.004f), n.length, seconds(0.04f)};
    const size_t len = out.limit(env.total());
    float level[9];
    for (int k = 0; k < 9; ++k)
        level[k] = n.hz * kRatio[k] < 16000.0f ? kMellow[k] + (kBright[k] - kMellow[k]) * v.tone : 0.0f;
    Decay click(0.004f);
    Svf clickBand;
    clickBand.set(2500.0f, 1.0f);
    double phase = 0;
    for (size_t i = 0; i < len; ++i) {
        phase += n.hz / kRate;
        float s = 0;
        for (int k = 0; k < 9; ++k) s += level[k] * sine(phase * kRatio[k]);
        clickBand.tick(rng.bipolar());
        s = s * 0.22f + clickBand.bandNormalised() * click.tick() * 0.3f;
        const float rotor = sine((double(n.start + i)) * 5.8 / kRate);
        const float e = env.at(i) * n.velocity;
        out.add(i, s * e * (1.0f + 0.25f * rotor), s * e * (1.0f - 0.25f * rotor));
    }
}

void ePiano(const Voice& v, const Note& n, Rng&, Out& out) {
    const float ring = (1.2f + 4.0f * v.decay) * std::min(1.5f, std::pow(262.0f / n.hz, 0.4f));
    const Envelope env{0, n.length, seconds(v.release + 0.1f)};
    const size_t len = out.limit(std::min(env.total(), seconds(ring)));
    Decay level(ring), index(0.6f), tine(0.02f);
    const float depth = 0.3f + 2.0f * n.velocity * v.tone;
    const bool hasTine = n.hz * 14.0f < 18000.0f;
    double phase = 0;
    for (size_t i = 0; i < len; ++i) {
        phase += n.hz / kRate;
        const float mod = (0.15f + depth * index.tick()) * sine(phase) / kTwoPi;
        float s = sine(phase + mod);
        const float tn = tine.tick();
        if (hasTine) s += 0.25f * n.velocity * v.tone * sine(14.0 * phase) * tn;
        const float trem = 0.3f * sine(double(n.start + i) * 4.5 / kRate);
        const float e = level.tick() * env.at(i) * n.velocity * 0.6f;
        out.add(i, s * e * (1.0f + trem), s * e * (1.0f - trem));
    }
}

void bell(const Voice& v, const Note& n, Rng&, Out& out) {
    const float ring = 1.0f + 4.0f * v.decay;
    const size_t len = out.limit(seconds(ring));
    Decay level(ring), index(ring * 0.5f), hum(ring * 1.3f);
    double phase = 0;
    for (size_t i = 0; i < len; ++i) {
        phase += n.hz / kRate;
        const float mod = (1.0f + 5.0f * v.tone * n.velocity) * index.tick() * sine(1.4 * phase) / kTwoPi;
        const float s = sine(phase + mod) * level.tick() + 0.3f * sine(0.5 * phase) * hum.tick();
        out.add(i, s * n.velocity * 0.5f);
    }
}

void marimba(const Voice& v, const Note& n, Rng& rng, Out& out) {
    static constexpr float kRatio[3] = {1.0f, 3.93f, 9.2f};
    const float base = 0.35f + 0.9f * v.decay;
    const size_t len = out.limit(seconds(base));
    Decay mode[3] = {Decay(base), Decay(0.14f), Decay(0.05f)};
    const float amp[3] = {1.0f, 0.35f * (0.5f + v.tone), 0.12f * v.tone};
    Decay mallet(0.003f);
    OnePole soft;
    soft.setCutoff(3000.0f);
    double phase = 0;
    for (size_t i = 0; i < len; ++i) {
        phase += n.hz / kRate;
        float s = soft.lowpass(rng.bipolar()) * mallet.tick() * 0.4f;
        for (int k = 0; k < 3; ++k)
            if (n.hz * kRatio[k] < 18000.0f) s += amp[k] * mode[k].tick() * sine(phase * kRatio[k]);
        out.add(i, s * n.velocity * 0.6f);
    }
}

// Vowel formants (frequency, level in dB, bandwidth) for a low and a high voice.
struct Formants {
    float hz[5], db[5], bw[5];
};
const Formants& vowel(char c, bool high) {
    static const Formants kLow[5] = {
        {{600, 1040, 2250, 2450, 2750}, {0, -7, -9, -9, -20}, {60, 70, 110, 120, 130}},    // a
        {{400, 1620, 2400, 2800, 3100}, {0, -12, -9, -12, -18}, {40, 80, 100, 120, 120}},  // e
        {{250, 1750, 2600, 3050, 3340}, {0, -30, -16, -22, -28}, {60, 90, 100, 120, 120}}, // i
        {{400, 750, 2400, 2600, 2900}, {0, -11, -21, -20, -40}, {40, 80, 100, 120, 120}},  // o
        {{350, 600, 2400, 2675, 2950}, {0, -20, -32, -28, -36}, {40, 80, 100, 120, 120}}}; // u
    static const Formants kHigh[5] = {
        {{800, 1150, 2900, 3900, 4950}, {0, -6, -32, -20, -50}, {80, 90, 120, 130, 140}},
        {{350, 2000, 2800, 3600, 4950}, {0, -20, -15, -40, -56}, {60, 100, 120, 150, 200}},
        {{270, 2140, 2950, 3900, 4950}, {0, -12, -26, -26, -44}, {60, 90, 100, 120, 120}},
        {{450, 800, 2830, 3800, 4950}, {0, -11, -22, -22, -50}, {70, 80, 100, 130, 135}},
        {{325, 700, 2700, 3800, 4950}, {0, -16, -35, -40, -60}, {50, 60, 170, 180, 200}}};
    const char* order = "aeiou";
    const char* found = std::strchr(order, c);
    const size_t index = found && c ? size_t(found - order) : 0;
    return high ? kHigh[index] : kLow[index];
}

void vocal(const Voice& v, const Note& n, Rng& rng, Out& out) {
    const Envelope env = envelope(v, n);
    const size_t len = out.limit(env.total());
    const bool high = n.hz > 260.0f;
    const size_t vowels = std::max<size_t>(1, std::strlen(v.vowels));
    const float span = float(std::max<size_t>(n.length, 1));
    Saw buzz;
    OnePole tilt, breathBand;
    tilt.setCutoff(std::max(1200.0f, n.hz * 5.0f));
    breathBand.setCutoff(5000.0f);
    Svf formant[5];
    float amp[5] = {};
    float drift = 0;
    for (size_t i = 0; i < len; ++i) {
        if (i % 32 == 0) {
            const float path = std::min(1.0f, float(i) / span) * float(vowels - 1);
            const size_t at = std::min(size_t(path), vowels - 1);
            float mix = path - float(at);
            mix = mix * mix * (3.0f - 2.0f * mix);
            const Formants& a = vowel(v.vowels[at], high);
            const Formants& b = vowel(v.vowels[std::min(at + 1, vowels - 1)], high);
            const float shift = std::exp2(v.sweep * std::min(1.0f, float(i) / span));
            for (int k = 0; k < 5; ++k) {
                const float hz = (a.hz[k] + (b.hz[k] - a.hz[k]) * mix) * shift;
                const float bw = a.bw[k] + (b.bw[k] - a.bw[k]) * mix;
                formant[k].set(hz, hz / bw);
                amp[k] = std::pow(10.0f, (a.db[k] + (b.db[k] - a.db[k]) * mix) / 20.0f);
            }
            drift = 0.97f * drift + 0.03f * rng.bipolar();
        }
        const float t = float(i) / kRate;
        const float onset = std::clamp((t - 0.2f) / 0.4f, 0.0f, 1.0f);
        const float semis = v.vibrato * onset * sine(5.3 * t) + 0.08f * drift;
        const float source = tilt.lowpass(buzz.tick(n.hz * std::exp2(semis / 12.0f))) * (1.0f - v.breath) +
                             breathBand.lowpass(rng.bipolar()) * (0.1f + v.breath);
        float s = 0;
        for (int k = 0; k < 5; ++k) {
            formant[k].tick(source);
            s += amp[k] * formant[k].bandNormalised();
        }
        out.add(i, s * env.at(i) * n.velocity * 3.5f);
    }
}

void lead(const Voice& v, const Note& n, Rng&, Out& out) {
    const Envelope env = envelope(v, n);
    const size_t len = out.limit(env.total());
    Saw saw;
    Square square;
    Svf filter;
    for (size_t i = 0; i < len; ++i) {
        const float t = float(i) / kRate;
        const float semis = v.vibrato * std::clamp((t - 0.15f) / 0.3f, 0.0f, 1.0f) * sine(5.8 * t);
        const float hz = n.hz * std::exp2(semis / 12.0f);
        if (i % 16 == 0) filter.set(n.hz * (2.0f + 8.0f * v.tone * n.velocity), v.q);
        filter.tick(0.6f * saw.tick(hz) + 0.4f * square.tick(hz * 1.003f));
        out.add(i, filter.low * env.at(i) * n.velocity * 0.9f);
    }
}

// Noise through a moving filter: resonant band (pitched wind) when q is high, otherwise a
// low-pass whose corner travels `sweep` octaves over the note. Left and right are independent
// noise so the swell is wide.
void noise(const Voice& v, const Note& n, Rng& rng, Out& out) {
    const Envelope env = envelope(v, n);
    const size_t len = out.limit(env.total());
    const bool band = v.q > 2.0f;
    const float span = float(std::max<size_t>(n.length, 1));
    Svf l, r;
    for (size_t i = 0; i < len; ++i) {
        if (i % 16 == 0) {
            const float cut = n.hz * std::exp2(v.sweep * std::min(1.0f, float(i) / span));
            l.set(cut, v.q);
            r.set(cut, v.q);
        }
        const float mid = rng.bipolar();
        l.tick(0.5f * mid + 0.8f * rng.bipolar());
        r.tick(0.5f * mid + 0.8f * rng.bipolar());
        const float e = env.at(i) * n.velocity * (band ? 2.4f : 1.4f);
        out.add(i, (band ? l.bandNormalised() : l.low) * e, (band ? r.bandNormalised() : r.low) * e);
    }
}

} // namespace

void renderNote(const Voice& v, const Note& n, Rng& rng, float* left, float* right, size_t room) {
    Out out{left, right, room, pan(n.pan)};
    switch (v.instrument) {
    case Instrument::Kick:
        return kick(v, n, rng, out);
    case Instrument::Snare:
        return snare(v, n, rng, out);
    case Instrument::Clap:
        return clap(v, n, rng, out);
    case Instrument::HatClosed:
        return metal(v, n, rng, out, 0.03f + 0.08f * v.decay, 10000.0f, 1.0f);
    case Instrument::HatOpen:
        return metal(v, n, rng, out, 0.25f + 0.7f * v.decay, 9000.0f, 1.0f);
    case Instrument::Crash:
        return metal(v, n, rng, out, 1.2f + 2.0f * v.decay, 6500.0f, 2.2f);
    case Instrument::Shaker:
        return shaker(v, n, rng, out);
    case Instrument::Tom:
        return tom(v, n, rng, out);
    case Instrument::Rim:
        return rim(v, n, rng, out);
    case Instrument::AcidBass:
        return acidBass(v, n, rng, out);
    case Instrument::SubBass:
        return subBass(v, n, rng, out);
    case Instrument::FmBass:
        return fmBass(v, n, rng, out);
    case Instrument::Pluck:
        return pluck(v, n, rng, out);
    case Instrument::Bowed:
        return bowed(v, n, rng, out);
    case Instrument::Pad:
        return pad(v, n, rng, out);
    case Instrument::Organ:
        return organ(v, n, rng, out);
    case Instrument::EPiano:
        return ePiano(v, n, rng, out);
    case Instrument::Bell:
        return bell(v, n, rng, out);
    case Instrument::Marimba:
        return marimba(v, n, rng, out);
    case Instrument::Vocal:
        return vocal(v, n, rng, out);
    case Instrument::Lead:
        return lead(v, n, rng, out);
    case Instrument::Noise:
        return noise(v, n, rng, out);
    }
}

} // namespace democlips
