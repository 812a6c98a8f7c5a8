#pragma once

#include "DynaBuffer.h"

namespace SPECTRO {

// Short-time Fourier analysis and overlap-add resynthesis over a Hann-windowed sliding frame of
// `size` samples advanced by `size / overlap` samples. Subclasses decide what a frame does.
class FFTBase {
public:
    // Values that the frame arithmetic cannot work with are refused; the constructor then falls
    // back to 4096 samples, overlap 2 and 48 kHz.
    FFTBase(int size, int overlap, float samplerate);
    virtual ~FFTBase() = default;
    FFTBase(const FFTBase&) = delete;
    FFTBase& operator=(const FFTBase&) = delete;

    // Setters refuse bad values and keep the old ones: the size must be a power of two from 2 to 2^24
    // and not below the overlap, the overlap 1 .. size, the rate positive and finite.
    virtual void setSamplerate(float rate);
    virtual void setSize(int n);
    virtual void setOverlap(int n);
    virtual float getSamplerate() { return samplerate; }
    virtual int getSize() { return size; }
    virtual int getOverlap() { return overlap; }
    virtual float* getFrequencies() { return frequencies.getBuffer(); }
    virtual float* getMagnitudes() { return magnitudes.getBuffer(); }
    virtual float* getMagnitudesNormalized() { return magnitudesNormalized.getBuffer(); }
    virtual float* getMagnitudesPeaks() { return magnitudesPeaks.getBuffer(); }
    virtual float* getPhases() { return phases.getBuffer(); }
    virtual float* getWave() { return inputBuffer.getBuffer(); }
    virtual float getFrequencies(int index) { return frequencies[index]; }
    virtual float getMagnitudes(int index) { return magnitudes[index]; }
    virtual float getMagnitudesNormalized(int index) { return magnitudesNormalized[index]; }
    virtual float getMagnitudesPeaks(int index) { return magnitudesPeaks[index]; }
    virtual float getPhases(int index) { return phases[index]; }
    virtual float getWave(int index) { return inputBuffer[index]; }

    virtual void process(float* samples, int n) = 0;
    virtual void reset() { clear(); }

    virtual void buffer2complex(float* in, float* out);
    virtual void complex2frequencies(float* c);
    virtual void frequencies2complex(float* mag, float* freq, float* phaseSum, float* out);
    virtual void complex2buffer(float* c, float* out);
    virtual void doOutput(float* out);
    virtual void shiftInput(float* buf);
    virtual void shiftResyn();
    virtual void init();
    virtual void clear();
    virtual void onBufferReady() = 0;
    virtual void onAnalysis(float* freq, float* mag);
    virtual void onComplex(float* /*c*/) {}
    // In-place radix-2 transform of fftSize interleaved complex values; -1 forward, +1 inverse,
    // unscaled.
    virtual void fft(int sign, float* data);

    DynaBuffer window;
    DynaBuffer complexBuffer;
    DynaBuffer inputBuffer;
    DynaBuffer outputBuffer;
    DynaBuffer frequencies;
    DynaBuffer magnitudes;
    DynaBuffer magnitudesNormalized;
    DynaBuffer magnitudesPeaks;
    DynaBuffer phases;
    DynaBuffer resynthesis;

    int size = 0;
    float samplerate = 0.0f;
    int overlap = 0;
    float normMax = 1.0f;
    float binWidth = 0.0f;
    float expectedPhase = 0.0f;
    int fftSize = 0;
    int halfSize = 0;
    int complexLength = 0;
    int keepLength = 0;
    int osamp = 0;
    int hop = 0;
    int writeIndex = 0;

protected:
    static bool validSize(int n, int withOverlap);
    static bool validRate(float rate);
    // True when every buffer a frame step touches exists at the current size.
    bool buffersReady() const;
    // Feeds samples into the sliding frame; with `out` the caller's samples are replaced by the
    // resynthesised output. A sample leaves the accumulator only once every frame covering it has
    // been added, so the output lags the input by a whole frame (fftSize samples).
    void feed(const float* in, float* out, int n);
    // The one frame loop behind every process: `put(input, i, slot)` stores sample i at `slot` of
    // the input frame, `out` (may be null) takes the output as `feed` describes, and `afterFrame()`
    // runs after each full frame has been handled and shifted. The caller checks the buffers.
    template <class Put, class AfterFrame>
    void feedFrames(int n, float* out, Put put, AfterFrame afterFrame);
    // Phase-vocoder shift of the analysed bins: bin k takes the partial of bin round(k / f), with
    // f = factor(k), its frequency times f (or, with `scaleMagnitude`, its magnitude times f). Bins
    // whose factor is not above `floor`, whose source lies outside 0 .. N/2 or whose frequency
    // passes `limit` stay silent. The complex buffer is then rebuilt from the shifted bins with the
    // running phases in `phaseSum`, its upper half cleared.
    template <class Factor>
    void shiftAndResynthesise(Factor factor, float floor, bool scaleMagnitude, float limit,
                              DynaBuffer& shiftedMagnitudes, DynaBuffer& shiftedFrequencies,
                              DynaBuffer& phaseSum);
    // Zeroes the complex buffer above the positive half, which a rebuilt spectrum leaves stale.
    void clearUpperHalf();
    // Inverse transform of `c` (default complexBuffer) added into the overlap-add accumulator;
    // false when a buffer is missing.
    bool overlapAdd(float* c);

private:
    void baseInit();
};

// Integer part of floor(x + 0.5).
int round1(float x);

// Wraps a phase into -pi .. pi so running phases keep their precision.
float wrapPhase(float phase);

template <class Put, class AfterFrame>
void FFTBase::feedFrames(int n, float* out, Put put, AfterFrame afterFrame) {
    float* input = inputBuffer.getBuffer();
    const float* output = outputBuffer.getBuffer();
    for (int i = 0; i < n; ++i) {
        put(input, i, writeIndex);
        if (out) out[i] = output[writeIndex - keepLength];
        if (++writeIndex >= fftSize) {
            writeIndex = keepLength;
            onBufferReady();
            shiftInput(nullptr);
            afterFrame();
        }
    }
}

template <class Factor>
void FFTBase::shiftAndResynthesise(Factor factor, float floor, bool scaleMagnitude, float limit,
                                   DynaBuffer& shiftedMagnitudes, DynaBuffer& shiftedFrequencies,
                                   DynaBuffer& phaseSum) {
    if (!buffersReady() || shiftedMagnitudes.getSize() <= halfSize ||
        shiftedFrequencies.getSize() <= halfSize || phaseSum.getSize() <= halfSize)
        return;
    float* mag = magnitudes.getBuffer();
    float* freq = frequencies.getBuffer();
    float* smag = shiftedMagnitudes.getBuffer();
    float* sfreq = shiftedFrequencies.getBuffer();
    mag[0] = 0.0f;
    freq[0] = 0.0f;
    shiftedMagnitudes.clear();
    shiftedFrequencies.clear();
    for (int k = 0; k <= halfSize; ++k) {
        const float f = factor(k);
        if (!(f > floor)) continue;
        const int s = round1(static_cast<float>(k) / f);
        if (s < 0 || s > halfSize) continue;
        smag[k] = scaleMagnitude ? mag[s] * f : mag[s];
        sfreq[k] = scaleMagnitude ? freq[s] : freq[s] * f;
        if (sfreq[k] > limit) smag[k] = sfreq[k] = 0.0f;
    }
    frequencies2complex(smag, sfreq, phaseSum.getBuffer(), complexBuffer.getBuffer());
    clearUpperHalf();
}

} // namespace SPECTRO
