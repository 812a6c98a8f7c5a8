#pragma once
// A clip as a score: a tempo and key, and parts that each play a pattern on a step grid.
//
// Pitched patterns are whitespace-separated steps. A step is a scale degree (0 is the tonic;
// negative below it; ' and , shift an octave up or down; # and b a semitone), several joined
// by + for a chord, '.' a rest and '_' holding the previous step; '.4' and '_4' stand for four
// of them. A trailing ! accents the step, ? plays it softly. Drum patterns have one character
// per step: X accent, x hit, o ghost, '.' rest. '|' may separate bars in either. A pattern
// shorter than the clip repeats.
//
// The clip is a whole number of bars whose length is rounded to the encoder's 1024-sample
// frame, so it decodes to exactly its own length and loops on the beat; whatever rings past
// the end (tails, reverb, echoes) is added back at the start, as it sounds when looping.

#include "M4aWriter.h"
#include "Voice.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace democlips {

enum class Mode {
    Major,
    Minor,
    Dorian,
    Mixolydian,
    Phrygian,
    Lydian,
    HarmonicMinor,
    PentaMajor,
    PentaMinor,
    Blues
};

enum Key { C, Db, D, Eb, E, F, Gb, G, Ab, A, Bb, B };

struct Setting {
    float bpm;
    int bars;
    Key key = C;
    Mode mode = Mode::Major;
    int beats = 4;           // beats in a bar
    int steps = 4;           // steps in a beat
    float swing = 0.0f;      // delay of every second step, as a fraction of a step
    float room = 0.5f;       // reverb size, 0 to 1
    float echoBeats = 0.75f; // echo time
};

class Score {
public:
    Score(const Setting& setting, uint64_t seed);
    Score& play(const Voice& voice, std::string_view pattern);
    StereoBuffer render();

    size_t frames() const { return frames_; }

private:
    struct Step {
        size_t at = 0, length = 1;
        std::vector<int> semitones; // empty for drums
        float velocity = 0;
    };
    std::vector<Step> parse(const Voice& voice, std::string_view pattern) const;
    int semitone(std::string_view degree) const;

    Setting setting_;
    uint64_t seed_;
    int parts_ = 0;
    size_t frames_, tail_, totalSteps_;
    double stepFrames_;
    std::vector<float> left_, right_, reverbSend_, echoSend_;
};

} // namespace democlips
