// Eighty short pieces for hearing the effect on: drums alone, bass lines, chords and pads,
// plucked and bowed strings, voices, noise, then small bands. Keys, modes, metres and tempi
// vary from clip to clip, and so do the dynamics: accents, ghost notes, crescendi, rests.
#include "Clips.h"

#include <string>

namespace democlips {

namespace {

using I = Instrument;

std::string rest(int steps) {
    return std::string(size_t(steps), '.');
}

Voice kick() {
    return voice(I::Kick).verb(0.03f);
}
Voice snare() {
    return voice(I::Snare).verb(0.15f);
}
Voice clap() {
    return voice(I::Clap).verb(0.2f);
}
Voice hat() {
    return voice(I::HatClosed).pan(0.3f).verb(0.04f);
}
Voice openHat() {
    return voice(I::HatOpen).pan(0.3f).verb(0.08f);
}
Voice shaker() {
    return voice(I::Shaker).pan(-0.35f).verb(0.08f);
}
Voice tom(float pitch) {
    return voice(I::Tom).bright(pitch).pan(0.6f - 1.2f * pitch).verb(0.15f);
}
Voice rim() {
    return voice(I::Rim).pan(-0.2f).verb(0.12f);
}
Voice crash() {
    return voice(I::Crash).pan(-0.4f).verb(0.15f);
}
Voice acid() {
    return voice(I::AcidBass).oct(2).sweeps(0, 5.0f).verb(0.05f);
}
Voice sub() {
    return voice(I::SubBass).oct(1).env(0.004f, 0.06f).verb(0.0f);
}
Voice fmBass() {
    return voice(I::FmBass).oct(2).env(0.003f, 0.04f).verb(0.03f);
}
Voice pluck() {
    return voice(I::Pluck).oct(3).env(0, 0.6f).verb(0.18f);
}
Voice bowed() {
    return voice(I::Bowed).oct(3).env(0.12f, 0.3f).vib(0.18f).verb(0.25f).hold(1.0f);
}
Voice pad() {
    return voice(I::Pad).env(0.6f, 1.2f).bright(0.25f).verb(0.35f).wide(0.4f).hold(1.0f);
}
Voice organ() {
    return voice(I::Organ).verb(0.15f);
}
Voice epiano() {
    return voice(I::EPiano).env(0, 0.3f).verb(0.2f);
}
Voice bell() {
    return voice(I::Bell).oct(5).verb(0.3f);
}
Voice marimba() {
    return voice(I::Marimba).verb(0.15f);
}
Voice vocal() {
    return voice(I::Vocal).oct(3).env(0.08f, 0.25f).vib(0.35f).verb(0.3f).hold(1.0f);
}
Voice lead() {
    return voice(I::Lead).oct(5).env(0.01f, 0.12f).vib(0.15f).echo(0.25f).verb(0.15f);
}
Voice noise() {
    return voice(I::Noise).oct(6).env(0.05f, 0.3f).verb(0.3f).hold(1.0f);
}

using M = Mode;

const std::vector<Clip> kClips = {
    // ---- drums ----
    // 1 rock beat with a crash on the one
    {{112, 2, E, M::Minor, 4, 4, 0, 0.45f}, [](Score& s) {
         s.play(kick(), "X.......x.X.....|X.......x.X...x.");
         s.play(snare(), "....X.......X...|....X.......X..o");
         s.play(hat(), "X.x.X.x.X.x.X.x.");
         s.play(crash(), "X" + rest(31));
     }},
    // 2 house: four on the floor, open hats off the beat
    {{124, 2, A, M::Minor, 4, 4, 0, 0.4f}, [](Score& s) {
         s.play(kick(), "X...X...X...X...");
         s.play(clap(), "....X.......X...");
         s.play(openHat().ring(0.2f), "..x...x...x...x.");
         s.play(hat().pan(-0.3f), "o.oxo.o.o.ox..o.");
         s.play(shaker().pan(0.5f).level(0.6f), "xoxoxoxoxoxoxoxo");
     }},
    // 3 drum and bass break at 172
    {{172, 4, F, M::Minor, 4, 4, 0, 0.35f}, [](Score& s) {
         s.play(kick(), "X.........X.....|..X.......X.....");
         s.play(snare().bright(0.8f), "....X.......X...|....X..o....X..o");
         s.play(hat(), "x.x.x.xxx.x.x.x.|x.x.x.x.x.xxx.x.");
         s.play(openHat(), rest(30) + "x.");
     }},
    // 4 half-time with hat rolls
    {{70, 2, Gb, M::Minor, 4, 8, 0, 0.3f}, [](Score& s) {
         s.play(kick().ring(0.9f), "X.......X.X..............X......|X.........X.....X.......X.......");
         s.play(clap(), rest(16) + "X" + rest(15));
         s.play(hat(), "x...x...x...x...x.x.x.x.xxxxxxxx|x...x...x...x...x...x.xxx.x.x.x.");
     }},
    // 5 shuffle on triplets, ghost notes on the snare
    {{96, 2, Bb, M::Blues, 4, 3, 0, 0.5f}, [](Score& s) {
         s.play(kick(), "X.....x..X..|X..x..X.....");
         s.play(snare(), "..o X.o ..o X.. |..o X.o ..o X.o ");
         s.play(hat(), "X.xx.xX.xx.x");
     }},
    // 6 twelve-eight bell pattern with toms and shaker
    {{100, 2, D, M::Dorian, 4, 3, 0, 0.5f}, [](Score& s) {
         s.play(rim().bright(0.9f), "X.x.xx.x.x.x");
         s.play(kick(), "X.....X..x..");
         s.play(tom(0.3f), "...x.....x.x|...x..x..x..");
         s.play(tom(0.7f), ".x.....x....");
         s.play(shaker(), "xoxxoxxoxxox");
     }},
    // 7 snare roll building from a whisper to a crash
    {{90, 2, C, M::Major, 4, 8, 0, 0.6f}, [](Score& s) {
         s.play(snare().dyn(0.12f, 1.1f).ring(0.2f), std::string(56, 'x') + "X.X.X..." );
         s.play(kick().dyn(0.4f, 1.0f), "X.......X.......X.......X.......");
         s.play(crash(), "X" + rest(63));
     }},
    // 8 tom groove falling away
    {{100, 2, G, M::Minor, 4, 4, 0, 0.55f}, [](Score& s) {
         s.play(tom(0.85f).dyn(1.0f, 0.45f), "X..x....x.x.....");
         s.play(tom(0.5f).dyn(1.0f, 0.45f), "..x..x.....x.x..");
         s.play(tom(0.15f).dyn(1.0f, 0.45f), "......x.......xX");
         s.play(kick().dyn(1.0f, 0.45f), "X.......X.......");
     }},
    // 9 hats and shakers: accents, ghost notes and an open hat
    {{128, 2, Db, M::Major, 4, 4, 0, 0.3f}, [](Score& s) {
         s.play(hat().pan(0), "XoxoXoxxXoxoXo.o|XoxoXoxxXox.X.xx");
         s.play(openHat().pan(0), "..............x.|..........x.....");
         s.play(shaker().pan(-0.5f).level(0.5f), "xoxoxoxoxoxoxoxo");
         s.play(shaker().pan(0.5f).level(0.4f).bright(0.2f), "oxoxoxoxoxoxoxox");
     }},
    // 10 son clave over hand percussion
    {{105, 2, Ab, M::Minor, 4, 4, 0, 0.45f}, [](Score& s) {
         s.play(rim().bright(0.7f).pan(0.2f), "x..x..x...x.x...|..x.x...x..x..x.");
         s.play(shaker(), "x.ox.xox.xoxx.ox");
         s.play(clap().pan(-0.3f).level(0.6f), "....x.......x...");
         s.play(tom(0.6f).level(0.7f), "......xo......xx");
     }},
    // 11 sparse hits in a big room, with long silences
    {{80, 2, B, M::Minor, 4, 4, 0, 0.85f}, [](Score& s) {
         s.play(kick().verb(0.3f), "X...............|......x.........");
         s.play(snare().verb(0.6f), "........X.......|........X.......");
         s.play(rim().verb(0.5f), "..............o.|.............o..");
     }},

    // ---- bass lines ----
    // 12 acid line in E Phrygian, accents opening the filter
    {{130, 2, E, M::Phrygian, 4, 4, 0, 0.3f}, [](Score& s) {
         s.play(acid().bright(0.5f).hold(0.6f),
                "0! 0 7 0 1! 0 0' 0 | 3 0 5! 0 0 1 0' 6?");
     }},
    // 13 sub bass: long notes, bending punch, silence between
    {{75, 2, F, M::Minor, 4, 4, 0, 0.3f}, [](Score& s) {
         s.play(sub().oct(2).bright(0.6f), "0! _7 . . -2 _3 | -3! _5 . . -1 _5");
     }},
    // 14 FM bass, funky sixteenths in E Dorian
    {{105, 2, E, M::Dorian, 4, 4, 0, 0.35f}, [](Score& s) {
         s.play(fmBass().bright(0.7f).hold(0.5f),
                "0! . 0' 0? . 0 -1 . 2! . 0 . 4 3 . 1 | 0! . 0' 0? . 0 4 . 6! . 7 . 4 2 . 1");
     }},
    // 15 walking bass, plucked upright, swung
    {{120, 2, Bb, M::Mixolydian, 4, 2, 0.35f, 0.45f}, [](Score& s) {
         s.play(pluck().oct(2).bright(0.2f).ring(0.4f).env(0, 0.1f),
                "0! . 2 . 4 . 5 . | 3! . 2 . 1 . #-1 . | 0 . 4 . 7 . 6 . | 3 . 4 . #3 . 4 .");
     }},
    // 16 octave disco bass
    {{118, 2, G, M::Minor, 4, 4, 0, 0.35f}, [](Score& s) {
         s.play(fmBass().bright(0.35f).hold(0.45f),
                "0 . 0' . 0 . 0' . -2 . -2' . -2 . -2' . | -3 . -3' . -3 . -3' . -1 . -1' . -1 . -1' .");
     }},
    // 17 deep plucked bass, slow, letting notes ring
    {{70, 2, D, M::Minor, 4, 4, 0, 0.5f}, [](Score& s) {
         s.play(pluck().oct(2).bright(0.15f).ring(0.8f).env(0, 0.5f),
                "0! . . . . . -3 . 0 . . . 2 . 1 . | -2! . . . . . . . -3 . . . -4 . . .");
     }},
    // 18 detuned saw bass with a slowly opening filter
    {{85, 2, C, M::Minor, 4, 4, 0, 0.3f}, [](Score& s) {
         s.play(pad().oct(2).bright(0.05f).env(0.02f, 0.15f).wide(0).verb(0.05f).sweeps(1.5f, 1.2f),
                "0! _5 . 0 _1 -2 _5 . -1 _1 | -3! _5 . -3 _1 -4 _3 . . -1 _1");
     }},
    // 19 acid line whose accents grow louder
    {{138, 2, D, M::Minor, 4, 4, 0, 0.3f}, [](Score& s) {
         s.play(acid().bright(0.3f).dyn(0.5f, 1.25f).sweeps(0, 7.0f).hold(0.5f),
                "0 0' 0 . 0 2 0! 0' | 0 0' 4! 0 3 . 0 0'");
     }},

    // ---- chords and pads ----
    // 20 warm pad: i VI III VII in A minor
    {{80, 2, A, M::Minor, 4, 4, 0, 0.6f}, [](Score& s) {
         s.play(pad().env(0.3f, 0.9f), "0+2+4 _7 -2+0+2 _7 | -4+-2+0 _7 -1+1+3 _7");
         s.play(pad().oct(2).bright(0.15f).wide(0).level(0.7f), "0 _7 -2 _7 | 2 _7 -1 _7");
     }},
    // 21 one slow swell, filter opening two octaves, Lydian colour
    {{60, 2, Db, M::Lydian, 4, 4, 0, 0.75f}, [](Score& s) {
         s.play(pad().env(2.5f, 1.5f).bright(0.1f).sweeps(2.5f, 1.5f).hold(0.85f),
                "-7+0+3+4+8 _31");
     }},
    // 22 gospel organ chords with accents
    {{96, 2, F, M::Major, 4, 4, 0, 0.45f}, [](Score& s) {
         s.play(organ().bright(0.7f).hold(0.8f),
                "0+2+4! . _1 0+2+4? . 0+3+5 _2 . 0+2+4! _3 . -1+1+3 _1 | -2+0+3! . _1 -2+0+3? . -3+1+3 _2 . -3+-1+1+4! _5");
     }},
    // 23 electric piano ballad, seventh chords
    {{72, 2, Eb, M::Major, 4, 4, 0, 0.5f}, [](Score& s) {
         s.play(epiano().bright(0.6f), "0+2+4+6! _5 0+2+4+6? _1 . . -2+0+2+4 _7 | -4+-1+1+3 _5 . -4+-1+1+3? -3+-1+1+3 _7");
         s.play(epiano().oct(2).bright(0.3f), "0 _7 -2 _7 | 3 _7 4 _7");
     }},
    // 24 house stabs off the beat
    {{124, 2, Gb, M::Minor, 4, 4, 0, 0.45f}, [](Score& s) {
         s.play(pad().env(0.003f, 0.12f).bright(0.55f).hold(0.5f).wide(0.5f).echo(0.2f),
                ". . 0+2+4+6 . . . 0+2+4+6? . . 0+2+4+6! . . . -1+1+3+5 . . | . . -2+0+2+4 . . . -2+0+2+4? . . -3+-1+1+4! . . . . . .");
     }},
    // 25 bowed string chords, slow
    {{66, 2, E, M::Minor, 4, 4, 0, 0.65f}, [](Score& s) {
         const char* top = "4 _7 5 _7 | 4 _7 3 _7";
         s.play(bowed().oct(4).env(0.4f, 0.5f).pan(0.4f), top);
         s.play(bowed().oct(4).env(0.4f, 0.5f).pan(-0.1f), "2 _7 2 _7 | 1 _7 1 _7");
         s.play(bowed().oct(3).env(0.4f, 0.5f).pan(-0.5f), "0 _7 -2 _7 | -3 _7 -1 _7");
     }},
    // 26 bells on a major pentatonic, ringing over each other
    {{90, 2, B, M::PentaMajor, 4, 4, 0, 0.6f}, [](Score& s) {
         s.play(bell().pan(0, 0.6f).ring(0.6f), "0! . 2 . 4 . 3 . 5! . . 2 . . 1 . | 0! . 4 . 3 . 5 . 7! . . . . . . .");
     }},
    // 27 choir pad moving from ooh to aah
    {{70, 2, Ab, M::Major, 4, 4, 0, 0.7f}, [](Score& s) {
         s.play(vocal().oct(4).say("uoa").env(0.5f, 0.6f).pan(0.4f), "4 _15 | 5 _15");
         s.play(vocal().oct(4).say("uoa").env(0.5f, 0.6f).pan(-0.4f), "2 _15 | 3 _15");
         s.play(vocal().oct(3).say("uoa").env(0.5f, 0.6f).pan(0), "0 _15 | -2 _15");
     }},
    // 28 organ drone, rotary speaker turning
    {{100, 2, D, M::Mixolydian, 4, 4, 0, 0.5f}, [](Score& s) {
         s.play(organ().bright(0.35f).hold(1.0f).vib(0.1f), "0+4+7+9 _15 | -1+3+6+8 _11 0+4+7+9 _3");
     }},
    // 29 swung electric piano comping in A Dorian
    {{110, 2, A, M::Dorian, 4, 4, 0.3f, 0.4f}, [](Score& s) {
         s.play(epiano().bright(0.8f).hold(0.5f),
                ". . 0+2+4+6! . . 0+2+4+6? . . . . 3+5+7+9 . _1 . 0+2+4+6 . | . 0+2+4+6? . . 3+5+7+9! . . . . . 1+3+5+7 _3 . .");
     }},

    // ---- plucked and struck ----
    // 30 fingerpicked guitar arpeggio
    {{100, 2, C, M::Major, 4, 4, 0, 0.45f}, [](Score& s) {
         s.play(pluck().bright(0.55f).ring(0.6f).env(0, 1.2f).pan(0, 0.3f),
                "0, 4 7 9 11 9 7 4 | -3, 2 5 7 9 7 5 2 | -4, 1 3 7 8 7 3 1 | -3, 1 4 6 8 6 4 1");
     }},
    // 31 harp glissandi up and down a pentatonic scale
    {{90, 2, Eb, M::PentaMajor, 4, 8, 0, 0.6f}, [](Score& s) {
         s.play(pluck().bright(0.35f).ring(0.7f).env(0, 1.5f).pan(0, 0.5f).oct(4),
                "-5 -4 -3 -2 -1 0 1 2 3 4 5 6 7 8 9 10! . . . . . . . . . . . . . . . . "
                "10 9 8 7 6 5 4 3 2 1 0 -1 -2 -3 -4 -5! . . . . . . . . . . . . . . . .");
     }},
    // 32 strummed guitar chords
    {{95, 2, G, M::Major, 4, 4, 0, 0.4f}, [](Score& s) {
         s.play(pluck().bright(0.5f).ring(0.5f).strummed(0.012f).env(0, 0.15f).hold(0.9f),
                "-3+0+2+4+7+9! . _1 -3+0+2+4+7+9? _1 -3+0+2+4+7+9 -3+0+2+4+7+9? _1 -3+0+2+4+7+9! _1 -3+0+2+4+7+9? _1 -3+0+3+5+7+10 _3 | "
                "-3+-1+1+4+6+8! . _1 -3+-1+1+4+6+8? _1 -3+-1+1+4+6+8 -3+-1+1+4+6+8? _1 -4+0+1+3+7+8! _1 -4+0+1+3+7+8? _1 -3+-1+1+4+6+8 _3");
     }},
    // 33 pizzicato strings, staccato
    {{120, 2, F, M::Minor, 4, 4, 0, 0.55f}, [](Score& s) {
         s.play(pluck().bright(0.15f).ring(0.15f).env(0, 0.05f).pan(0.3f),
                "0! . 2 . 4 . 2 . 7! . 4 . 2 . -1 . | 0! . 4 . 2 . -1 . -3 . -1 . 0! . . .");
         s.play(pluck().oct(2).bright(0.1f).ring(0.2f).env(0, 0.05f).pan(-0.4f), "0 . . . . . . . -3 . . . -1 . . .");
     }},
    // 34 koto-like phrase on a minor pentatonic over a low plucked line
    {{76, 2, A, M::PentaMinor, 4, 4, 0, 0.6f}, [](Score& s) {
         s.play(pluck().oct(4).bright(0.85f).ring(0.5f).env(0, 0.8f).pan(0.1f, 0.3f),
                "4! . 3 2 . . 3 . 1 . . . 0 . -1 . | 0! . 2 . 3 4? 3? 2 . . . . . . . .");
         s.play(pluck().oct(3).bright(0.3f).ring(0.7f).env(0, 1.0f).pan(-0.4f).level(0.7f),
                "0 . . . 2 . . . -1 . . . 0 . . . | -2 . . . 0 . . . -1 . . . 1 . . .");
     }},
    // 35 mandolin tremolo swelling up
    {{140, 2, D, M::Major, 4, 4, 0, 0.45f}, [](Score& s) {
         s.play(pluck().oct(4).bright(0.6f).ring(0.3f).env(0, 0.05f).dyn(0.3f, 1.1f).pan(0.2f),
                "4 4 4 4 4 4 4 4 3 3 3 3 3 3 3 3 | 2 2 2 2 2 2 2 2 4 4 4 4 4 4 7 7");
         s.play(pluck().oct(3).bright(0.4f).ring(0.5f).env(0, 0.4f).pan(-0.4f), "0+4 . . . . . . . -3+2 . . . . . . . | -2+2 . . . . . . . -3+3 . . . . . . .");
     }},
    // 36 marimba in six-eight
    {{100, 4, Bb, M::Major, 2, 3, 0, 0.4f}, [](Score& s) {
         s.play(marimba().pan(0.2f, 0.3f).bright(0.6f), "0! 4 7 4? 2 4 | 1! 5 8 5? 3 5 | -1! 4 6 4? 1 4 | 0! 2 4 7? 4 2");
         s.play(marimba().oct(3).pan(-0.3f).ring(0.8f), "0 . . 4 . . | 1 . . 5 . . | -1 . . 1 . . | 0 . . -3 . .");
     }},
    // 37 music box melody, high and ringing
    {{84, 2, E, M::Major, 4, 4, 0, 0.55f}, [](Score& s) {
         s.play(bell().oct(6).bright(0.2f).ring(0.3f).pan(0, 0.4f),
                "4 . 2 . 0 . 2 . 4 . 4 . 4 . . . | 3 . 3 . 3 . . . 4 . 7 . 7 . . .");
     }},
    // 38 plucked duet: bass and melody in C sharp minor
    {{92, 2, Db, M::Minor, 4, 4, 0, 0.5f}, [](Score& s) {
         s.play(pluck().oct(2).bright(0.2f).ring(0.7f).pan(-0.5f), "0 . . . 4 . . . -2 . . . 2 . . . | -3 . . . 1 . . . -1 . . . 4 . . .");
         s.play(pluck().oct(4).bright(0.6f).ring(0.6f).env(0, 0.4f).pan(0.5f), ". . 4 . 2 . 4 . 5 . 4 2 . . 0 . | . . 2 . 0 . 2 . 4 . 6 . 4 . . .");
     }},
    // 39 palm-muted chugs with accents
    {{150, 2, E, M::Minor, 4, 4, 0, 0.3f}, [](Score& s) {
         s.play(pluck().oct(2).bright(0.45f).ring(0.2f).env(0, 0.02f).hold(0.5f).pan(-0.3f),
                "0! 0 0 0 0 0 0! 0 0 0 3! . 0 0 2! . | 0! 0 0 0 0 0 0! 0 0 0 5! . 4 . 3! .");
         s.play(pluck().oct(2).bright(0.45f).ring(0.2f).env(0, 0.02f).hold(0.5f).pan(0.3f).level(0.8f),
                "4! 4 4 4 4 4 4! 4 4 4 7! . 4 4 6! . | 4! 4 4 4 4 4 4! 4 4 4 9! . 8 . 7! .");
     }},

    // ---- bowed strings ----
    // 40 cello melody, legato with vibrato
    {{72, 2, D, M::Minor, 4, 4, 0, 0.55f}, [](Score& s) {
         s.play(bowed().vib(0.22f).bright(0.45f), "0! _3 2 _1 4 _1 7 _5 6 _1 4 _1 | 5 _3 4 _1 2 _1 1 _5 . _1");
     }},
    // 41 violin phrase swelling to its high note
    {{88, 2, G, M::Major, 4, 4, 0, 0.6f}, [](Score& s) {
         s.play(bowed().oct(5).vib(0.25f).bright(0.6f).dyn(0.55f, 1.1f).pan(0.2f),
                "0 _1 1 _1 2 _3 4 _1 5 _1 7 _3 | 9! _7 8 _3 7 _1 . _1");
     }},
    // 42 string tremolo growing from pianissimo
    {{100, 2, Gb, M::Minor, 4, 8, 0, 0.5f}, [](Score& s) {
         s.play(bowed().oct(4).env(0.01f, 0.06f).vib(0).hold(0.95f).dyn(0.25f, 1.15f).pan(0.3f), std::string(
                "4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 "
                "5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 6 6 6 6 6 6 6 6 7 7 7 7 7 7 7 7"));
         s.play(bowed().oct(3).env(0.3f, 0.4f).dyn(0.3f, 1.0f).pan(-0.4f), "0 _31 | -2 _31");
     }},
    // 43 long bowed swells, each note rising and falling
    {{60, 2, C, M::Major, 4, 4, 0, 0.7f}, [](Score& s) {
         s.play(bowed().env(1.2f, 1.0f).hold(0.7f).bright(0.35f), "4 _7 2 _7 | 3 _7 . _7");
         s.play(bowed().oct(2).env(1.4f, 1.0f).hold(0.7f).bright(0.3f).pan(-0.3f), "0 _7 -3 _7 | -2 _7 . _7");
     }},
    // 44 double bass, bowed low
    {{66, 2, B, M::Minor, 4, 4, 0, 0.55f}, [](Score& s) {
         s.play(bowed().oct(1).env(0.2f, 0.5f).bright(0.5f).vib(0.12f), "0! _7 -1 _3 -2 _3 | -3 _5 -1 _1 0 _5 . _1");
     }},
    // 45 spiccato: short bouncing bow strokes
    {{132, 2, A, M::Major, 4, 4, 0, 0.45f}, [](Score& s) {
         s.play(bowed().oct(4).env(0.015f, 0.05f).hold(0.35f).vib(0).bright(0.7f),
                "0! 2 4 2 0! 2 4 2 5! 4 2 0 -1! 0 2 4 | 5! 7 9 7 5! 4 2 0 -1! 1 3 4 7! . . .");
     }},
    // 46 two bowed voices in thirds
    {{80, 2, Eb, M::Major, 4, 4, 0, 0.6f}, [](Score& s) {
         s.play(bowed().oct(4).pan(0.45f), "4 _3 5 _3 6 _1 5 _1 4 _3 | 3 _3 2 _3 4 _7");
         s.play(bowed().oct(4).pan(-0.45f).bright(0.4f), "2 _3 3 _3 4 _1 3 _1 2 _3 | 1 _3 -1 _3 2 _7");
     }},

    // ---- voices ----
    // 47 one long note sweeping through the vowels
    {{60, 2, C, M::Major, 4, 4, 0, 0.55f}, [](Score& s) {
         s.play(vocal().oct(3).say("aeiouoa").env(0.3f, 0.4f), "0 _29 . .");
     }},
    // 48 soprano line on ah and oh
    {{76, 2, A, M::Major, 4, 4, 0, 0.65f}, [](Score& s) {
         s.play(vocal().oct(4).say("ao").vib(0.45f), "4! _5 2 _1 3 _3 4 _3 | 5 _3 4 _3 2 _5 . .");
     }},
    // 49 talking bass: each note says wah
    {{100, 2, G, M::Minor, 4, 4, 0, 0.35f}, [](Score& s) {
         s.play(vocal().oct(2).say("uao").vib(0).env(0.01f, 0.08f).hold(0.85f).verb(0.1f),
                "0! _1 . 0 2 _1 . 0 | 3! _1 . 4 _1 . 2 . | 0! _1 . 0 2 _1 . 4 | -2! _1 -1 _1 0 _3");
     }},
    // 50 choir swelling from ooh to aah
    {{66, 2, F, M::Major, 4, 4, 0, 0.7f}, [](Score& s) {
         for (auto [part, pan] : {std::pair{"4 _31", 0.5f}, {"2 _31", -0.2f}, {"0 _31", 0.2f}, {"-3 _31", -0.5f}})
             s.play(vocal().oct(4).say("uuoaa").env(1.5f, 1.5f).hold(0.8f).dyn(0.6f, 1.0f).pan(pan), part);
     }},
    // 51 whispered vowels drifting
    {{80, 2, Db, M::Major, 4, 4, 0, 0.6f}, [](Score& s) {
         s.play(vocal().oct(3).breathy(0.92f).say("iaou").env(0.4f, 0.5f).pan(-0.3f), "0 _13 . .");
         s.play(vocal().oct(3).breathy(0.92f).say("uoai").env(0.4f, 0.5f).pan(0.3f), rest(16) + " 0 _13 . .");
     }},
    // 52 low chant with the overtones swept upwards
    {{70, 2, E, M::Minor, 4, 4, 0, 0.6f}, [](Score& s) {
         s.play(vocal().oct(2).vib(0.05f).say("uoaeiea").sweeps(0.3f, 0.7f).env(0.4f, 0.6f), "0 _29 . .");
     }},
    // 53 bright vocal arpeggio
    {{120, 2, B, M::Minor, 4, 4, 0, 0.5f}, [](Score& s) {
         s.play(vocal().oct(4).say("ia").vib(0.1f).env(0.02f, 0.1f).hold(0.8f).echo(0.3f),
                "0! _1 2 _1 4 _1 7 _1 4 _1 2 _1 0 _3 | -1! _1 1 _1 4 _1 6 _1 4 _1 1 _1 -1 _3");
     }},
    // 54 yodel: leaps that flip between vowels
    {{110, 2, D, M::Major, 4, 4, 0, 0.55f}, [](Score& s) {
         s.play(vocal().oct(4).say("oi").vib(0.2f).env(0.02f, 0.1f),
                "0 _1 4 _1 -3 _1 4 _1 0 _1 7! _3 4 _1 | 2 _1 6 _1 -1 _1 6 _1 2 _1 4! _3 . _1");
     }},

    // ---- noise ----
    // 55 white-noise riser, cut at the bar line
    {{128, 2, C, M::Major, 4, 4, 0, 0.5f}, [](Score& s) {
         s.play(noise().oct(5).env(3.5f, 0.02f).sweeps(5.5f, 1.4f).hold(1.0f), "0 _31");
         s.play(kick().level(0.9f), "X" + rest(31));
     }},
    // 56 pitched wind on a pentatonic
    {{60, 2, A, M::PentaMinor, 4, 4, 0, 0.7f}, [](Score& s) {
         s.play(noise().oct(5).sweeps(0.2f, 12.0f).env(0.8f, 1.0f).pan(-0.3f), "0 _7 2 _7 | 1 _7 3 _7");
         s.play(noise().oct(6).sweeps(-0.2f, 10.0f).env(1.0f, 1.0f).pan(0.4f).level(0.6f), "4 _11 3 _3 | 2 _15");
     }},
    // 57 ocean: three waves rolling in and drawing back
    {{54, 2, D, M::Major, 4, 4, 0, 0.6f}, [](Score& s) {
         s.play(noise().oct(4).env(1.3f, 1.6f).sweeps(3.0f, 0.8f).hold(0.55f).pan(0, 0.4f), "0 _9 0? _9 0! _11");
     }},
    // 58 gated noise, a filter running up and down
    {{120, 2, Ab, M::Minor, 4, 4, 0, 0.3f}, [](Score& s) {
         s.play(noise().oct(7).env(0.002f, 0.04f).hold(0.4f).sweeps(0, 3.0f),
                "0! 0 0? 0 0! 0? 0 0 -3! -3 -3? -3 -4! -4? -4 -4 | -7! -7 -7? -7 -5! -5? -5 -5 -3! -3 -3? -3 -1! -1? 0 2");
     }},
    // 59 reverse swell into a crash
    {{90, 2, Gb, M::Major, 4, 4, 0, 0.55f}, [](Score& s) {
         s.play(noise().oct(6).env(2.8f, 0.01f).sweeps(2.0f, 0.9f), rest(8) + " 0 _23");
         s.play(crash().ring(0.6f), "X" + rest(31));
         s.play(kick(), "X" + rest(31));
     }},
    // 60 rain: scattered drops over a soft hiss
    {{100, 2, F, M::Major, 4, 8, 0, 0.6f}, [](Score& s) {
         s.play(shaker().pan(0, 0.9f).ring(0.1f).bright(0.9f), "x.o..x.oo.x..o.xo..x.o.x..oxo.x.|.ox.o..x.xo..o.x..x.o.ox..x.o.o.");
         s.play(noise().oct(8).env(0.5f, 0.5f).level(0.25f).sweeps(0, 0.6f), "0 _63");
     }},

    // ---- small bands ----
    // 61 techno: drums and acid
    {{130, 2, F, M::Minor, 4, 4, 0, 0.35f}, [](Score& s) {
         s.play(kick(), "X...X...X...X...");
         s.play(hat(), "..x...x...x...xo");
         s.play(clap().level(0.7f), "....x.......x...");
         s.play(acid().bright(0.45f).hold(0.55f).pan(0.1f), "0 0 0' 0 . 0 3! 0 | 0 1! 0 0' . 0 0 5");
     }},
    // 62 lo-fi hip-hop: swung drums, sub and electric piano
    {{84, 2, Eb, M::Major, 4, 4, 0.28f, 0.5f}, [](Score& s) {
         s.play(kick(), "X.....x...X.....|X.....x..x......");
         s.play(snare().bright(0.3f), "....X.......X..o");
         s.play(hat().level(0.6f), "x.xox.x.x.xox.xo");
         s.play(sub().oct(2), "0 _5 . . -2 _5 . . | -3 _5 . . -1 _5 . .");
         s.play(epiano().bright(0.4f).hold(1.0f), "0+2+4+6 _7 . _3 -2+0+2+4 _3 | -3+-1+1+4 _7 . _3 -1+1+3+5 _3");
     }},
    // 63 pop: drums, bass, strummed guitar and a lead
    {{116, 2, C, M::Major, 4, 4, 0, 0.4f}, [](Score& s) {
         s.play(kick(), "X.......X.X.....");
         s.play(snare(), "....X.......X...");
         s.play(hat(), "x.x.x.x.x.x.x.x.");
         s.play(fmBass().bright(0.3f).hold(0.7f), "0 . 0 . 0 . 0 . -3 . -3 . -3 . -3 . | -4 . -4 . -4 . -4 . -3 . -3 . -1 . -1 .");
         s.play(pluck().strummed(0.01f).bright(0.4f).pan(-0.45f).level(0.6f).env(0, 0.1f),
                "0+2+4+7 _1 0+2+4+7? _1 . 0+2+4+7 _1 . -3+0+2+5 _1 -3+0+2+5? _1 . -3+0+2+5 _1 . | "
                "-4+-1+1+3 _1 -4+-1+1+3? _1 . -4+-1+1+3 _1 . -3+-1+1+4 _1 -3+-1+1+4? _1 . -3+-1+1+4 _1 .");
         s.play(lead().pan(0.3f).bright(0.4f), ". _7 4 _1 2 _1 0 _1 2 _1 | 4 _3 5 _3 4 _5 . _1");
     }},
    // 64 waltz: plucked bass and piano chords in three
    {{144, 4, G, M::Major, 3, 4, 0, 0.5f}, [](Score& s) {
         s.play(pluck().oct(2).bright(0.2f).ring(0.5f).pan(-0.3f), "0 _3 . _7 | 4 _3 . _7 | 3 _3 . _7 | 4 _3 . _7");
         s.play(epiano().bright(0.5f).hold(0.6f).pan(0.3f), ". _3 2+4+7 _3 2+4+7? _3 | . _3 1+4+6 _3 1+4+6? _3 | . _3 3+5+7 _3 3+5+7? _3 | . _3 1+4+6 _3 1+3+6? _3");
     }},
    // 65 ambient: pad, bells and wind
    {{70, 2, Ab, M::Lydian, 4, 4, 0, 0.8f}, [](Score& s) {
         s.play(pad().env(1.5f, 1.5f).bright(0.2f).level(0.8f), "0+4+6+9 _15 | -2+2+4+8 _15");
         s.play(bell().ring(0.7f).pan(0, 0.7f).level(0.6f).echo(0.3f), ". . 4 . . . . . 8 . . . . 6 . . | . . . . 9 . . . . . 7 . . . . .");
         s.play(noise().oct(6).sweeps(0.3f, 9.0f).env(1.0f, 1.0f).level(0.35f).pan(0.5f), "4 _31");
     }},
    // 66 funk: drums, FM bass and organ stabs
    {{104, 2, E, M::Dorian, 4, 4, 0, 0.35f}, [](Score& s) {
         s.play(kick(), "X.....x..X......|X.....x..x...x..");
         s.play(snare(), "....X..o.o..X...|....X..o.o..X..o");
         s.play(hat(), "xoxoxoxoxoxoxoxo");
         s.play(fmBass().bright(0.6f).hold(0.45f), "0! . 0' . . 0 . 2 . 0 . . 4 . 3 . | 0! . 0' . . 0 . 6 . 7 . 6 . 4 2 .");
         s.play(organ().bright(0.6f).hold(0.4f).pan(0.4f), ". . . . 3+5+7! . . . . . 3+5+7? . . . . . | . . . . 3+5+7! . . . . . 2+4+6 . 3+5+7 . . .");
     }},
    // 67 string trio in C minor: cello, violin, pizzicato
    {{84, 2, C, M::Minor, 4, 4, 0, 0.6f}, [](Score& s) {
         s.play(bowed().oct(2).pan(-0.45f).bright(0.4f), "0 _7 -3 _7 | -2 _7 -3 _3 -1 _3");
         s.play(bowed().oct(5).pan(0.4f).vib(0.25f).dyn(0.7f, 1.05f), "4 _5 3 _1 2 _7 | 0 _3 2 _3 -1 _7");
         s.play(pluck().oct(4).bright(0.15f).ring(0.15f).env(0, 0.05f).pan(0.05f).level(0.7f), ". . 2 . . . 2 . . . 0 . . . 0 . | . . 1 . . . 1 . . . -1 . . . 1 .");
     }},
    // 68 jazz trio: walking bass, ride, piano
    {{132, 2, F, M::Major, 4, 3, 0, 0.45f}, [](Score& s) {
         s.play(openHat().ring(0.1f).bright(0.2f).pan(0.4f).level(0.8f), "x..x.xx..x.x");
         s.play(hat().pan(0.4f).level(0.6f), "...x.....x..");
         s.play(pluck().oct(2).bright(0.25f).ring(0.4f).env(0, 0.05f).pan(-0.3f),
                "0 . . 2 . . 4 . . 5 . . | 1 . . 3 . . 5 . . #5 . . | 4 . . 6 . . 3 . . 1 . . | 0 . . -1 . . -3 . . -2 . .");
         s.play(epiano().bright(0.5f).hold(0.4f).pan(0.1f), ". . 0+2+4+6 . . . . 0+2+4+6? . . . . | . . . . 1+3+5+7 . . . . 1+3+5+7? . . | "
                ". . 3+5+7+9 . . . . . . . 4+6+8+10? . | . . 0+2+4+6 . . . . . . 0+2+4+6 . .");
     }},
    // 69 drum and bass with a reese bass and a sung pad
    {{172, 4, G, M::Minor, 4, 4, 0, 0.55f}, [](Score& s) {
         s.play(kick(), "X.........X.....|..X.......X.....");
         s.play(snare().bright(0.8f), "....X.......X...|....X..o....X..o");
         s.play(hat(), "x.xxx.x.x.xxx.x.");
         s.play(pad().oct(1).bright(0.1f).env(0.02f, 0.2f).wide(0).verb(0.03f).sweeps(1.0f, 1.5f), "0 _31 | -2 _15 -3 _15");
         s.play(vocal().oct(4).say("ao").env(0.8f, 1.0f).level(0.5f), "4 _31 | 2 _31");
     }},
    // 70 trance: offbeat bass, supersaw stabs, echoing lead
    {{138, 2, A, M::Minor, 4, 4, 0, 0.5f}, [](Score& s) {
         s.play(kick(), "X...X...X...X...");
         s.play(openHat().ring(0.15f), "..x...x...x...x.");
         s.play(fmBass().bright(0.4f).hold(0.6f), ". . 0 0 . . 0 0 . . 0 0 . . 0 0 | . . -2 -2 . . -2 -2 . . -3 -3 . . -1 -1");
         s.play(pad().env(0.005f, 0.15f).bright(0.6f).hold(0.6f), "0+2+4 . . 0+2+4 . . 0+2+4 . . 0+2+4 . . 0+2+4 . | -2+0+2 . . -2+0+2 . . -3+-1+2 . . -1+1+3 . . -1+1+3 .");
         s.play(lead().bright(0.5f).hold(0.5f).echo(0.4f).level(0.7f), "7 4 2 4 7 4 9 4 7 4 2 4 7 4 11 4");
     }},
    // 71 folk: guitar, fiddle and shaker
    {{96, 2, D, M::Major, 4, 4, 0, 0.45f}, [](Score& s) {
         s.play(pluck().strummed(0.011f).bright(0.45f).pan(-0.4f).env(0, 0.2f),
                "0+2+4+7! _1 0+2+4+7? 0+2+4+7 _1 0+2+4+7? 0+2+4+7 _1 | -3+1+3+6! _1 -3+1+3+6? -3+1+3+6 _1 -3+1+3+6? -4+0+2+7 _1");
         s.play(bowed().oct(5).pan(0.4f).vib(0.2f).env(0.05f, 0.15f), "4 _1 5 _1 4 2 0 _1 2 _3 4 _3 | 3 _1 1 _1 -1 1 3 _1 4 _7");
         s.play(shaker(), "xoxoxoxoxoxoxoxo");
     }},
    // 72 cinematic: toms, low strings, a rising hiss and a crash
    {{90, 2, D, M::Minor, 4, 4, 0, 0.75f}, [](Score& s) {
         s.play(tom(0.1f).ring(0.8f).dyn(0.5f, 1.1f), "X.....x.X.......|X.....x.X...x.x.");
         s.play(tom(0.4f).dyn(0.5f, 1.1f), "...x......x..x..|...x......x.xxxx");
         s.play(bowed().oct(2).env(0.6f, 0.6f).dyn(0.5f, 1.1f).bright(0.6f), "0 _15 | 1 _15");
         s.play(noise().oct(5).env(3.0f, 0.01f).sweeps(3.0f, 1.0f).level(0.6f), rest(10) + " 0 _21");
         s.play(crash(), "X" + rest(31));
     }},
    // 73 reggae: skank on the offbeat, bass, rim, dub echo
    {{76, 2, Bb, M::Major, 4, 4, 0, 0.5f}, [](Score& s) {
         s.play(kick(), "........X.......");
         s.play(rim().echo(0.4f), "....x.......x...");
         s.play(hat().level(0.5f), "x.x.x.x.x.x.x.x.");
         s.play(organ().bright(0.6f).hold(0.3f).echo(0.2f).pan(0.35f), ". . 0+2+4 . . . 0+2+4 . . . 3+5+7 . . . 3+5+7 . | . . 4+6+8 . . . 4+6+8 . . . 3+5+7 . . . 3+5+7? .");
         s.play(fmBass().bright(0.2f).hold(0.8f), "0 _2 . 0 4 _1 . 3 _3 . 3 2 _1 | 4 _2 . 4 6 _1 . 3 _3 . 2 1 _1");
     }},
    // 74 synthwave: gated snare, octave bass, pad and lead
    {{100, 2, Gb, M::Minor, 4, 4, 0, 0.7f}, [](Score& s) {
         s.play(kick(), "X.......X.......");
         s.play(snare().verb(0.5f).bright(0.7f), "....X.......X...");
         s.play(hat().level(0.6f), "xxxxxxxxxxxxxxxx");
         s.play(acid().bright(0.1f).sweeps(0, 1.0f).hold(0.5f), "0 0' 0 0' 0 0' 0 0' -2 -2' -2 -2' -2 -2' -2 -2' | -3 -3' -3 -3' -3 -3' -3 -3' -1 -1' -1 -1' -1 -1' -1 -1'");
         s.play(pad().level(0.6f), "0+2+4 _15 | -3+-1+2 _7 -1+1+3 _7");
         s.play(lead().bright(0.3f).vib(0.2f), "4 _5 2 _1 4 _7 | 5 _3 4 _3 2 _7");
     }},
    // 75 interlocking mallets on a pentatonic
    {{110, 2, C, M::PentaMajor, 4, 4, 0, 0.45f}, [](Score& s) {
         s.play(marimba().oct(4).pan(-0.5f).bright(0.8f), "0 . 2 . 4 . 2 . 3 . 5 . 3 . 1 .");
         s.play(marimba().oct(5).pan(0.5f).bright(0.8f), ". 4 . 3 . 2 . 4 . 1 . 0 . 2 . 3");
         s.play(bell().oct(4).ring(0.6f).level(0.7f), "0 . . . . . . . . . . . . . . . | 3 . . . . . . . . . . . . . . .");
         s.play(voice(I::Tom).bright(0.5f).level(0.6f), "x...x..x..x.x...");
     }},
    // 76 hymn: choir over organ
    {{64, 2, Eb, M::Major, 4, 4, 0, 0.75f}, [](Score& s) {
         s.play(organ().bright(0.2f).hold(1.0f).level(0.7f), "0+2+4 _7 -1+1+3 _3 -2+0+2 _3 | -4+-2+0 _7 -3+-1+1+3 _7");
         s.play(vocal().oct(4).say("ao").env(0.2f, 0.4f).pan(0.3f), "4 _7 3 _3 2 _3 | 2 _7 1 _7");
         s.play(vocal().oct(3).say("ou").env(0.2f, 0.4f).pan(-0.3f), "0 _7 -1 _3 -2 _3 | -4 _7 -3 _7");
     }},
    // 77 son montuno: clave, congas, piano riff, bass tumbao
    {{100, 2, G, M::Minor, 4, 4, 0, 0.4f}, [](Score& s) {
         s.play(rim().bright(0.8f), "x..x..x...x.x...|..x.x...x..x..x.");
         s.play(tom(0.75f).ring(0.2f), "..ox..xo..ox..xx");
         s.play(tom(0.55f).ring(0.2f), "......X.......X.");
         s.play(pluck().oct(2).bright(0.2f).ring(0.5f).pan(-0.3f), ". . . 0 . . 4 _1 . . . 3 . . 0 _1 | . . . 4 . . 1 _1 . . . -1 . . 4 _1");
         s.play(epiano().bright(0.7f).hold(0.5f).pan(0.35f), "0+2+4 . 2+4 . 0+2+4 . 1+3+4 . 1+3+4 . -1+1+4 . 0+2+4 . 2+4 .");
     }},
    // 78 breaks with vocal chops and sub
    {{95, 2, B, M::Minor, 4, 4, 0, 0.45f}, [](Score& s) {
         s.play(kick(), "X.......X.X.....|X..x......X.....");
         s.play(snare(), "....X.......X...|....X.......X.o.");
         s.play(hat(), "x.x.x.x.x.xxx.x.");
         s.play(sub().oct(1), "0 _5 . . . . 0 _1 -2 _3 | -3 _5 . . . . -1 _1 -2 _3");
         s.play(vocal().oct(4).say("ea").vib(0).env(0.005f, 0.05f).hold(0.8f).echo(0.35f).level(0.8f),
                ". . 4 . . . 4 2 . . . . 7 _1 . . | . . 4 . . . 4 6 . . 7 . 4 _1 . .");
     }},
    // 79 minimal: kick, hats, mallet blips and filter sweeps
    {{122, 2, Db, M::PentaMinor, 4, 4, 0, 0.5f}, [](Score& s) {
         s.play(kick(), "X...X...X...X...");
         s.play(hat().level(0.7f), "..x...x...x...xx");
         s.play(marimba().oct(5).bright(0.9f).ring(0.1f).echo(0.45f).pan(0.2f, 0.5f), "0 . . 3 . . 2 . . . 4 . . 1 . . | 0 . . 3 . . 5 . . . 4 . . 2 . .");
         s.play(noise().oct(7).sweeps(-2.0f, 4.0f).env(0.005f, 0.2f).hold(0.8f).level(0.5f), ". _3 0 _3 . _7 | . _3 0 _3 . _7");
     }},
    // 80 finale: the whole band, rising to the end
    {{120, 4, E, M::Major, 4, 4, 0, 0.55f}, [](Score& s) {
         s.play(kick().dyn(0.7f, 1.0f), "X.......X.X.....");
         s.play(snare().dyn(0.6f, 1.1f), "....X.......X...|....X.......X.xx");
         s.play(hat().dyn(0.6f, 1.0f), "x.x.x.x.x.x.x.x.");
         s.play(crash(), "X" + rest(63));
         s.play(fmBass().bright(0.35f).hold(0.6f), "0 . 0 0 . 0 0 . -3 . -3 -3 . -3 -3 . | -4 . -4 -4 . -4 -4 . -3 . -3 -3 . -1 -1 .");
         s.play(pad().level(0.5f).dyn(0.6f, 1.0f), "0+2+4 _15 | -3+0+2 _15 | -4+-1+2 _15 | -3+-1+1+4 _15");
         s.play(pluck().oct(4).bright(0.6f).pan(-0.5f, 0.2f).level(0.6f).env(0, 0.3f), "0 4 7 4 9 4 7 4 | -3 2 4 2 7 2 4 2 | -4 1 2 1 6 1 2 1 | -3 1 3 1 6 1 3 1");
         s.play(lead().dyn(0.5f, 1.1f).pan(0.35f), "7 _5 6 _1 4 _7 | 5 _5 4 _1 2 _7 | 3 _5 4 _1 5 _7 | 6 _3 7 _3 8! _7");
     }},
};

} // namespace

const std::vector<Clip>& clips() {
    return kClips;
}

} // namespace democlips
