#include "Score.h"

#include "Dsp.h"
#include "Effects.h"

#include <cctype>
#include <cmath>
#include <stdexcept>
#include <string>

namespace democlips {

namespace {

constexpr float kTailSeconds = 4.0f;

const std::vector<int>& scale(Mode mode) {
    static const std::vector<int> kScales[] = {
        {0, 2, 4, 5, 7, 9, 11}, {0, 2, 3, 5, 7, 8, 10}, {0, 2, 3, 5, 7, 9, 10}, {0, 2, 4, 5, 7, 9, 10},
        {0, 1, 3, 5, 7, 8, 10}, {0, 2, 4, 6, 7, 9, 11}, {0, 2, 3, 5, 7, 8, 11}, {0, 2, 4, 7, 9},
        {0, 3, 5, 7, 10},       {0, 3, 5, 6, 7, 10}};
    return kScales[int(mode)];
}

// "_3", "..." or "." -> 3, 3 or 1: the count of steps a rest or hold token stands for.
size_t count(std::string_view token) {
    if (token.find_first_not_of(token[0]) == std::string_view::npos) return token.size();
    return size_t(std::stoul(std::string(token.substr(1))));
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> out;
    size_t at = 0;
    while (at <= text.size()) {
        const size_t end = std::min(text.find(separator, at), text.size());
        if (end > at) out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

} // namespace

Score::Score(const Setting& setting, uint64_t seed) : setting_(setting), seed_(seed) {
    totalSteps_ = size_t(setting.bars * setting.beats * setting.steps);
    const double seconds = setting.bars * setting.beats * 60.0 / setting.bpm;
    frames_ = size_t(std::llround(seconds * kRate / kAacFrame)) * kAacFrame;
    stepFrames_ = double(frames_) / double(totalSteps_);
    tail_ = size_t(kTailSeconds * kRate);
    for (auto* v : {&left_, &right_, &reverbSend_, &echoSend_}) v->assign(frames_ + tail_, 0.0f);
}

int Score::semitone(std::string_view degree) const {
    int shift = 0;
    while (!degree.empty() && (degree.front() == '#' || degree.front() == 'b')) {
        shift += degree.front() == '#' ? 1 : -1;
        degree.remove_prefix(1);
    }
    while (!degree.empty() && (degree.back() == '\'' || degree.back() == ',')) {
        shift += degree.back() == '\'' ? 12 : -12;
        degree.remove_suffix(1);
    }
    const int d = std::stoi(std::string(degree));
    const auto& s = scale(setting_.mode);
    const int n = int(s.size());
    const int octave = d >= 0 ? d / n : -((-d + n - 1) / n);
    return s[size_t(d - octave * n)] + 12 * octave + shift;
}

std::vector<Score::Step> Score::parse(const Voice& voice, std::string_view pattern) const {
    std::vector<Step> steps;
    size_t at = 0;
    if (voice.isDrum()) {
        for (char c : pattern) {
            if (c == ' ' || c == '|') continue;
            if (c == 'X' || c == 'x' || c == 'o')
                steps.push_back({at, 1, {}, c == 'X' ? 1.0f : c == 'x' ? 0.72f : 0.35f});
            else if (c != '.')
                throw std::invalid_argument(std::string("drum step '") + c + "'");
            ++at;
        }
    } else {
        for (std::string_view token : split(pattern, ' ')) {
            if (token == "|") continue;
            if (token[0] == '.') {
                at += count(token);
            } else if (token[0] == '_') {
                if (!steps.empty() && steps.back().at + steps.back().length == at)
                    steps.back().length += count(token);
                at += count(token);
            } else {
                Step step{at, 1, {}, 0.72f};
                if (token.back() == '!' || token.back() == '?') {
                    step.velocity = token.back() == '!' ? 1.0f : 0.42f;
                    token.remove_suffix(1);
                }
                for (std::string_view degree : split(token, '+')) step.semitones.push_back(semitone(degree));
                steps.push_back(step);
                ++at;
            }
        }
    }
    if (at == 0) throw std::invalid_argument("empty pattern");
    // Repeat to fill the clip.
    const size_t cycle = at, written = steps.size();
    for (size_t offset = cycle; offset < totalSteps_; offset += cycle)
        for (size_t i = 0; i < written && steps[i].at + offset < totalSteps_; ++i) {
            Step s = steps[i];
            s.at += offset;
            steps.push_back(s);
        }
    return steps;
}

Score& Score::play(const Voice& voice, std::string_view pattern) {
    Rng rng(seed_ * 1000003ull + uint64_t(++parts_));
    std::vector<float> left(left_.size()), right(right_.size());
    const float jitter = voice.isDrum() ? 0.0008f : 0.002f;
    for (const Step& step : parse(voice, pattern)) {
        double when = double(step.at) * stepFrames_;
        if (step.at % 2 == 1) when += setting_.swing * stepFrames_;
        when += double(jitter * rng.bipolar() * kRate);
        const size_t start = size_t(std::max(0.0, when));
        const float position = float(step.at) / float(totalSteps_);
        const float dynamics = voice.from * std::pow(voice.to / voice.from, position);
        Note note;
        note.start = start;
        note.length = size_t(double(step.length) * stepFrames_ * voice.legato);
        note.velocity = std::clamp(step.velocity * dynamics * (1.0f + 0.07f * rng.bipolar()), 0.0f, 1.2f);
        const float spread = voice.spread * rng.bipolar();
        const size_t room = left.size() - start;
        if (step.semitones.empty()) {
            note.pan = voice.position + spread;
            renderNote(voice, note, rng, left.data() + start, right.data() + start, room);
        }
        for (size_t k = 0; k < step.semitones.size(); ++k) {
            const int midi = 12 * (voice.octave + 1) + int(setting_.key) + step.semitones[k];
            note.hz = midiToHz(midi);
            // Chord notes fan out a little across the stereo field.
            const float fan = step.semitones.size() > 1
                                  ? 0.35f * (float(k) / float(step.semitones.size() - 1) - 0.5f)
                                  : 0.0f;
            note.pan = voice.position + spread + fan;
            // Down-strokes on the beat, up-strokes between.
            const size_t order = step.at % 2 == 0 ? k : step.semitones.size() - 1 - k;
            const size_t delay = std::min(size_t(float(order) * voice.strum * kRate), room - 1);
            note.start = start + delay;
            renderNote(voice, note, rng, left.data() + note.start, right.data() + note.start, room - delay);
        }
    }
    if (voice.chorus > 0) chorus(left, right, voice.chorus);
    for (size_t i = 0; i < left.size(); ++i) {
        const float l = left[i] * voice.gain, r = right[i] * voice.gain;
        left_[i] += l;
        right_[i] += r;
        reverbSend_[i] += (l + r) * voice.reverbSend;
        echoSend_[i] += (l + r) * 0.5f * voice.echoSend;
    }
    return *this;
}

StereoBuffer Score::render() {
    Reverb reverb(setting_.room, 0.5f);
    reverb.process(reverbSend_, left_, right_);
    pingPong(echoSend_, float(setting_.echoBeats * setting_.steps * stepFrames_ / kRate), 0.4f, left_,
             right_);
    StereoBuffer out;
    out.left.assign(left_.begin(), left_.begin() + long(frames_));
    out.right.assign(right_.begin(), right_.begin() + long(frames_));
    for (size_t i = frames_; i < left_.size(); ++i) {
        out.left[i % frames_] += left_[i];
        out.right[i % frames_] += right_[i];
    }
    return out;
}

} // namespace democlips
