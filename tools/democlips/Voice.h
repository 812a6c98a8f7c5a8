#pragma once
// What plays a part: an instrument and the few settings that shape it. The setters chain so
// that a clip reads as a short list of parts.

#include <cstddef>

namespace democlips {

class Rng;

enum class Instrument {
    // drums: their patterns are one character per step
    Kick,
    Snare,
    Clap,
    HatClosed,
    HatOpen,
    Shaker,
    Tom,
    Rim,
    Crash,
    // pitched: their patterns are scale degrees
    AcidBass,
    SubBass,
    FmBass,
    Pluck,
    Bowed,
    Pad,
    Organ,
    EPiano,
    Bell,
    Marimba,
    Vocal,
    Lead,
    Noise,
};

struct Voice {
    Instrument instrument;
    int octave = 4; // octave of degree 0, C4 = middle C
    float gain = 1.0f;
    float position = 0.0f; // pan, -1 to 1
    float spread = 0.0f;   // random pan added per note
    float tone = 0.5f;     // brightness, 0 to 1
    float decay = 0.5f;    // ring or decay time, 0 to 1
    float attack = 0.005f; // seconds
    float release = 0.08f; // seconds
    float legato = 0.9f;   // fraction of the written length that sounds
    float vibrato = 0.0f;  // depth in semitones
    float sweep = 0.0f;    // octaves the filter moves over a note (noise, vocal, pad)
    float q = 0.7f;        // filter resonance where there is one
    float breath = 0.0f;   // noise in the source (vocal, bowed)
    float reverbSend = 0.12f;
    float echoSend = 0.0f;
    float chorus = 0.0f;
    float strum = 0.0f;           // seconds between the notes of a chord
    float from = 1.0f, to = 1.0f; // dynamics across the clip: crescendo when to > from
    const char* vowels = "a";     // formant path for the vocal, one vowel after another

    Voice& oct(int v) { return set(&Voice::octave, v); }
    Voice& level(float v) { return set(&Voice::gain, v); }
    Voice& pan(float p, float s = 0.0f) { return set(&Voice::position, p).set(&Voice::spread, s); }
    Voice& bright(float v) { return set(&Voice::tone, v); }
    Voice& ring(float v) { return set(&Voice::decay, v); }
    Voice& env(float a, float r) { return set(&Voice::attack, a).set(&Voice::release, r); }
    Voice& hold(float v) { return set(&Voice::legato, v); }
    Voice& vib(float v) { return set(&Voice::vibrato, v); }
    Voice& sweeps(float octaves, float resonance) {
        return set(&Voice::sweep, octaves).set(&Voice::q, resonance);
    }
    Voice& breathy(float v) { return set(&Voice::breath, v); }
    Voice& verb(float v) { return set(&Voice::reverbSend, v); }
    Voice& echo(float v) { return set(&Voice::echoSend, v); }
    Voice& wide(float v) { return set(&Voice::chorus, v); }
    Voice& dyn(float a, float b) { return set(&Voice::from, a).set(&Voice::to, b); }
    Voice& say(const char* v) { return set(&Voice::vowels, v); }
    Voice& strummed(float seconds) { return set(&Voice::strum, seconds); }

    bool isDrum() const { return instrument < Instrument::AcidBass; }

private:
    template <typename T>
    Voice& set(T Voice::*field, T value) {
        this->*field = value;
        return *this;
    }
};

inline Voice voice(Instrument i) {
    return Voice{i};
}

// One sounding note as the score hands it to an instrument.
struct Note {
    size_t start = 0;   // frame in the clip
    size_t length = 0;  // frames it is held
    float hz = 0;       // pitch (ignored by most drums)
    float velocity = 1; // 0 to 1
    float pan = 0;      // final pan position
};

// Adds one note into the two channels starting at `left`/`right`, at most `room` frames.
void renderNote(const Voice& voice, const Note& note, Rng& rng, float* left, float* right, size_t room);

} // namespace democlips
