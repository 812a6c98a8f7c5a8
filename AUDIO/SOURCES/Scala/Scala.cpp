#include "Scala.h"

#include "plat/denormals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

char* itoa(int value, char* buffer, int /*radix*/) {
    static char shared[128];
    static char fallback[] = " ";
    char* out = buffer ? buffer : shared;
    if (std::snprintf(out, 128, "%d", value) < 0) return fallback;
    return out;
}

Names Scala::names;

const char* Names::getName(int note, int octave) {
    if (note < 0 || note >= 128) return "-";
    char digits[16];
    std::snprintf(result, sizeof result, "%s%s", names[note % 12], itoa(octave, digits, 10));
    return result;
}

int Names::getWhite(int note) const {
    if (note < 0 || note >= 128) return -1;
    switch (note % 12) {
    case 0:
    case 2:
    case 4:
    case 5:
    case 7:
    case 9:
    case 11:
        return 1;
    default:
        return 0;
    }
}

Tone::~Tone() {
    clear();
}

void Tone::clear() {
    if (records.Count() == 0) return;
    records.Rewind();
    while (void* p = records.Next()) delete static_cast<BinRecord*>(p);
    records.Clear();
}

float Tone::getSum() {
    float sum = 0.0f;
    records.Rewind();
    while (void* p = records.Next()) sum += static_cast<BinRecord*>(p)->magnitude;
    return sum;
}

namespace {
float semitonePower(int k) {
    return static_cast<float>(6.875 * std::exp(std::log(2.0) * k / 24.0));
}

} // namespace

Scala::Scala() {
    int octave = -2;
    for (int i = 0; i < kTones; ++i) {
        Tone& t = tones[i];
        t.index = i;
        t.note = i - 3;
        int r = t.note % 12;
        if (r == 0) ++octave;
        t.octave = octave;
        if (r < 0) r += 12;
        t.pitchClass = r + 1;
        std::snprintf(t.name, sizeof t.name, "%s", names.getName(t.note, octave));
        t.white = names.getWhite(t.note);
        t.centre = semitonePower(2 * i);
        t.upper = semitonePower(2 * i + 1);
        t.lower = i == 0 ? 0.0f : tones[i - 1].upper;
    }
}

void Scala::clear() {
    for (Tone& t : tones) t.clear();
}

void Scala::chromaticScaleSums(int from, int to) {
    if (readMark) {
        std::fill(std::begin(accumulated), std::end(accumulated), 0.0f);
        frameCount = 0;
        readMark = false;
    }
    from = std::max(from, 0);
    to = std::min(to, kNoteEnd);
    for (int n = from; n < to; ++n) accumulated[n] += tones[n + 3].getSum();
    ++frameCount;
}

float* Scala::getChromatic(int from, int to, bool normalize) {
    if (frameCount == 0) return sums;
    from = std::max(from, 0);
    to = std::min(to, kNoteEnd);
    float largest = 0.0f;
    for (int n = from; n < to; ++n) {
        sums[n] = plat::flushDenormal(accumulated[n] / static_cast<float>(frameCount));
        largest = std::max(largest, sums[n]);
    }
    if (normalize && largest > 1.0f)
        for (int n = from; n < to; ++n) sums[n] = plat::flushDenormal(sums[n] / largest);
    readMark = true;
    return sums;
}
