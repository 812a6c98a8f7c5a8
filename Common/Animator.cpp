#include "Animator.h"

#include "AnimationTimer.h"
#include "Helpers.h"

#include <cmath>
#include <string>

namespace animation_detail {
void reportUnowned(std::string_view who) {
    plat::Console::shared().writeLine(
        std::string(who) +
        "::start() : ERROR: only an object owned by a std::shared_ptr can run on a timer.");
}
} // namespace animation_detail

namespace {
constexpr float kPi = 3.14159265358979323846f;
constexpr float kTwoPi = 2.0f * kPi;
} // namespace

std::optional<EnumEasing> enumEasing(std::int64_t rawValue) {
    if (rawValue < 0 || rawValue > static_cast<std::int64_t>(EnumEasing::EASING_easeLast))
        return std::nullopt;
    return static_cast<EnumEasing>(rawValue);
}

std::atomic<std::int64_t> Animator::liveCount_{0};

std::int64_t Animator::classCount() {
    return liveCount_.load();
}

Animator::Animator() {
    ++liveCount_;
}

Animator::Animator(float sourceValue, float destinationValue, std::int64_t frames, float interval,
                   EnumEasing type)
    : Animator() {
    // Non-virtual here: a subclass is not constructed yet.
    Animator::setup(sourceValue, destinationValue, frames, interval, type);
}

Animator::~Animator() {
    animation_detail::invalidate(_timer);
    --liveCount_;
}

Animator::Curve Animator::curveFor(EnumEasing type) {
    static constexpr Curve table[] = {
        &Animator::easeNone,        &Animator::easeInQuad,       &Animator::easeOutQuad,
        &Animator::easeInOutQuad,   &Animator::easeOutInQuad,    &Animator::easeInCubic,
        &Animator::easeOutCubic,    &Animator::easeInOutCubic,   &Animator::easeOutInCubic,
        &Animator::easeInQuart,     &Animator::easeOutQuart,     &Animator::easeInOutQuart,
        &Animator::easeOutInQuart,  &Animator::easeInQuint,      &Animator::easeOutQuint,
        &Animator::easeInOutQuint,  &Animator::easeOutInQuint,   &Animator::easeInSine,
        &Animator::easeOutSine,     &Animator::easeInOutSine,    &Animator::easeOutInSine,
        &Animator::easeInExpo,      &Animator::easeOutExpo,      &Animator::easeInOutExpo,
        &Animator::easeOutInExpo,   &Animator::easeInCirc,       &Animator::easeOutCirc,
        &Animator::easeInOutCirc,   &Animator::easeOutInCirc,    &Animator::easeInElastic,
        &Animator::easeOutElastic,  &Animator::easeInOutElastic, &Animator::easeOutInElastic,
        &Animator::easeInBack,      &Animator::easeOutBack,      &Animator::easeInOutBack,
        &Animator::easeOutInBack,   &Animator::easeInBounce,     &Animator::easeOutBounce,
        &Animator::easeInOutBounce, &Animator::easeOutInBounce,
    };
    const auto i = rawValue(type);
    return i >= 0 && i < std::int64_t(std::size(table)) ? table[i] : &Animator::easeNone;
}

void Animator::setType(EnumEasing type) {
    _type = type;
    _action = curveFor(type);
}

void Animator::setup(float source, float destination, std::int64_t frames, float interval, EnumEasing type) {
    _source = source;
    _destination = destination;
    _value = _source;
    _amount = _destination - _source;
    _frames = frames;
    _frameCount = _frames;
    _step = 0;
    _interval = interval;
    setType(type);
    if (_frames < 0) _frames = 0;
    if (_amount == 0) _frames = 0;
}

void Animator::reverse() {
    setup(_destination, _source, _frames, _interval, _type);
}

void Animator::rewind() {
    setup(_source, _destination, _frameCount);
}

void Animator::undo() {
    _frames = 1;
    _step = 0;
    setup(_source, _destination, 1, 0.009f, EnumEasing::EASING_easeNone);
    animate();
    animate();
}

void Animator::animate() {
    if (_frames < 0) return;
    if (_step < _frames) {
        if (onAnimation) {
            auto observer = onAnimation; // the observer may replace itself
            observer(*this, _value);
        }
        _step += 1;
        _value = (this->*_action)(_step, _source, _amount, _frames);
        return;
    }
    _value = _destination;
    if (!looped) {
        auto keepAlive = weak_from_this().lock(); // stop() may release the last owner, the timer
        stop();
        if (onFinished) {
            auto observer = onFinished;
            observer(*this, _value);
        }
    } else {
        if (onLoop) {
            auto observer = onLoop;
            observer(*this);
        }
        reverse();
    }
}

void Animator::start() {
    animation_detail::startTimer(
        *this, _timer, _interval, [](Animator& a) { a.animate(); }, "Animator");
}

void Animator::stop() {
    auto keepAlive = weak_from_this().lock();
    animation_detail::invalidate(_timer);
    reset();
}

void Animator::reset() {
    _step = 0;
    _frames = -1;
    looped = false;
}

// ---------------------------------------------------------------------------------------------
// Curves. Single precision throughout; powers multiply left to right from the amount.

float Animator::outIn(Curve out, Curve in, std::int64_t t, float b, float c, std::int64_t d) const {
    // The halfway test divides the frame count as integers: with an odd count the middle frame
    // already belongs to the second half and is evaluated as the In curve at frame -1, a little
    // off b + c/2. Both halves are given the whole count d.
    if (t < d / 2) return (this->*out)(2 * t, b, c / 2, d);
    return (this->*in)(2 * t - d, b + c / 2, c / 2, d);
}

float Animator::easeNone(std::int64_t t, float b, float c, std::int64_t d) const {
    return c * float(t) / float(d) + b;
}

float Animator::easeInQuad(std::int64_t t, float b, float c, std::int64_t d) const {
    const float x = float(t) / float(d);
    return c * x * x + b;
}
float Animator::easeOutQuad(std::int64_t t, float b, float c, std::int64_t d) const {
    const float x = float(t) / float(d);
    return -c * x * (x - 2) + b;
}
float Animator::easeInOutQuad(std::int64_t t, float b, float c, std::int64_t d) const {
    const float h = float(t) / (float(d) / 2);
    if (h < 1) return c / 2 * h * h + b;
    const float u = h - 1;
    return -c / 2 * (u * (u - 2) - 1) + b;
}
float Animator::easeOutInQuad(std::int64_t t, float b, float c, std::int64_t d) const {
    return outIn(&Animator::easeOutQuad, &Animator::easeInQuad, t, b, c, d);
}

float Animator::easeInCubic(std::int64_t t, float b, float c, std::int64_t d) const {
    const float x = float(t) / float(d);
    return c * x * x * x + b;
}
float Animator::easeOutCubic(std::int64_t t, float b, float c, std::int64_t d) const {
    const float u = float(t) / float(d) - 1;
    return c * (u * u * u + 1) + b;
}
float Animator::easeInOutCubic(std::int64_t t, float b, float c, std::int64_t d) const {
    const float h = float(t) / (float(d) / 2);
    if (h < 1) return c / 2 * h * h * h + b;
    const float u = h - 2;
    return c / 2 * (u * u * u + 2) + b;
}
float Animator::easeOutInCubic(std::int64_t t, float b, float c, std::int64_t d) const {
    return outIn(&Animator::easeOutCubic, &Animator::easeInCubic, t, b, c, d);
}

float Animator::easeInQuart(std::int64_t t, float b, float c, std::int64_t d) const {
    const float x = float(t) / float(d);
    return c * x * x * x * x + b;
}
float Animator::easeOutQuart(std::int64_t t, float b, float c, std::int64_t d) const {
    const float u = float(t) / float(d) - 1;
    return -c * (u * u * u * u - 1) + b;
}
float Animator::easeInOutQuart(std::int64_t t, float b, float c, std::int64_t d) const {
    const float h = float(t) / (float(d) / 2);
    if (h < 1) return c / 2 * h * h * h * h + b;
    const float u = h - 2;
    return -c / 2 * (u * u * u * u - 2) + b;
}
float Animator::easeOutInQuart(std::int64_t t, float b, float c, std::int64_t d) const {
    return outIn(&Animator::easeOutQuart, &Animator::easeInQuart, t, b, c, d);
}

float Animator::easeInQuint(std::int64_t t, float b, float c, std::int64_t d) const {
    const float x = float(t) / float(d);
    return c * x * x * x * x * x + b;
}
float Animator::easeOutQuint(std::int64_t t, float b, float c, std::int64_t d) const {
    const float u = float(t) / float(d) - 1;
    return c * (u * u * u * u * u + 1) + b;
}
float Animator::easeInOutQuint(std::int64_t t, float b, float c, std::int64_t d) const {
    const float h = float(t) / (float(d) / 2);
    if (h < 1) return c / 2 * h * h * h * h * h + b;
    const float u = h - 2;
    return c / 2 * (u * u * u * u * u + 2) + b;
}
float Animator::easeOutInQuint(std::int64_t t, float b, float c, std::int64_t d) const {
    return outIn(&Animator::easeOutQuint, &Animator::easeInQuint, t, b, c, d);
}

float Animator::easeInSine(std::int64_t t, float b, float c, std::int64_t d) const {
    const float x = float(t) / float(d);
    return -c * std::cos(x * kPi / 2) + c + b;
}
float Animator::easeOutSine(std::int64_t t, float b, float c, std::int64_t d) const {
    const float x = float(t) / float(d);
    return c * std::sin(x * kPi / 2) + b;
}
float Animator::easeInOutSine(std::int64_t t, float b, float c, std::int64_t d) const {
    return -c / 2 * (std::cos(kPi * float(t) / float(d)) - 1) + b;
}
float Animator::easeOutInSine(std::int64_t t, float b, float c, std::int64_t d) const {
    return outIn(&Animator::easeOutSine, &Animator::easeInSine, t, b, c, d);
}

float Animator::easeInExpo(std::int64_t t, float b, float c, std::int64_t d) const {
    const float T = float(t);
    if (T == 0) return b;
    return c * std::pow(2.0f, 10 * (T / float(d) - 1)) + b;
}
float Animator::easeOutExpo(std::int64_t t, float b, float c, std::int64_t d) const {
    const float T = float(t), D = float(d);
    if (T == D) return b + c;
    return c * (1 - std::pow(2.0f, (-10 * T) / D)) + b;
}
float Animator::easeInOutExpo(std::int64_t t, float b, float c, std::int64_t d) const {
    const float T = float(t), D = float(d);
    if (T == 0) return b;
    if (T == D) return b + c;
    const float h = T / (D / 2);
    if (h < 1) return c / 2 * std::pow(2.0f, 10 * (h - 1)) + b;
    return c / 2 * (2 - std::pow(2.0f, -10 * (h - 1))) + b;
}
float Animator::easeOutInExpo(std::int64_t t, float b, float c, std::int64_t d) const {
    return outIn(&Animator::easeOutExpo, &Animator::easeInExpo, t, b, c, d);
}

float Animator::easeInCirc(std::int64_t t, float b, float c, std::int64_t d) const {
    const float x = float(t) / float(d);
    return -c * (std::sqrt(1 - x * x) - 1) + b;
}
float Animator::easeOutCirc(std::int64_t t, float b, float c, std::int64_t d) const {
    const float u = float(t) / float(d) - 1;
    return c * std::sqrt(1 - u * u) + b;
}
float Animator::easeInOutCirc(std::int64_t t, float b, float c, std::int64_t d) const {
    const float h = float(t) / (float(d) / 2);
    if (h < 1) return -c / 2 * (std::sqrt(1 - h * h) - 1) + b;
    const float u = h - 2;
    return c / 2 * (std::sqrt(1 - u * u) + 1) + b;
}
float Animator::easeOutInCirc(std::int64_t t, float b, float c, std::int64_t d) const {
    return outIn(&Animator::easeOutCirc, &Animator::easeInCirc, t, b, c, d);
}

float Animator::easeInElastic(std::int64_t t, float b, float c, std::int64_t d) const {
    const float T = float(t), D = float(d);
    if (T == 0) return b;
    const float x = T / D;
    if (x == 1) return b + c;
    const float p = D * 0.3f, s = p / 4, u = x - 1;
    return -(c * std::pow(2.0f, 10 * u) * std::sin((u * D - s) * kTwoPi / p)) + b;
}
float Animator::easeOutElastic(std::int64_t t, float b, float c, std::int64_t d) const {
    const float T = float(t), D = float(d);
    if (T == 0) return b;
    const float x = T / D;
    if (x == 1) return b + c;
    const float p = D * 0.3f, s = p / 4;
    return c * std::pow(2.0f, -10 * x) * std::sin((x * D - s) * kTwoPi / p) + c + b;
}
float Animator::easeInOutElastic(std::int64_t t, float b, float c, std::int64_t d) const {
    const float T = float(t), D = float(d);
    if (T == 0) return b;
    const float h = T / (D / 2);
    if (h == 2) return b + c;
    const float p = D * 0.45000002f, s = p / 4, u = h - 1;
    if (h < 1) return -0.5f * c * std::pow(2.0f, 10 * u) * std::sin((u * D - s) * kTwoPi / p) + b;
    return 0.5f * c * std::pow(2.0f, -10 * u) * std::sin((u * D - s) * kTwoPi / p) + c + b;
}
float Animator::easeOutInElastic(std::int64_t t, float b, float c, std::int64_t d) const {
    return outIn(&Animator::easeOutElastic, &Animator::easeInElastic, t, b, c, d);
}

float Animator::easeInBack(std::int64_t t, float b, float c, std::int64_t d) const {
    const float x = float(t) / float(d);
    return c * x * x * (2.70158f * x - 1.70158f) + b;
}
float Animator::easeOutBack(std::int64_t t, float b, float c, std::int64_t d) const {
    const float u = float(t) / float(d) - 1;
    return c * (u * u * (2.70158f * u + 1.70158f) + 1) + b;
}
float Animator::easeInOutBack(std::int64_t t, float b, float c, std::int64_t d) const {
    const float h = float(t) / (float(d) / 2);
    if (h < 1) return c / 2 * h * h * (3.5949094f * h - 2.5949094f) + b;
    const float u = h - 2;
    return c / 2 * (u * u * (3.5949094f * u + 2.5949094f) + 2) + b;
}
float Animator::easeOutInBack(std::int64_t t, float b, float c, std::int64_t d) const {
    return outIn(&Animator::easeOutBack, &Animator::easeInBack, t, b, c, d);
}

float Animator::easeOutBounce(std::int64_t t, float b, float c, std::int64_t d) const {
    constexpr float k = 7.5625f;
    const float x = float(t) / float(d);
    if (x < 1 / 2.75f) return c * (k * x * x) + b;
    if (x < 2 / 2.75f) {
        const float v = x - 1.5f / 2.75f;
        return c * (k * v * v + 0.75f) + b;
    }
    if (x < 2.5f / 2.75f) {
        const float v = x - 2.25f / 2.75f;
        return c * (k * v * v + 0.9375f) + b;
    }
    const float v = x - 2.625f / 2.75f;
    return c * (k * v * v + 0.984375f) + b;
}
float Animator::easeInBounce(std::int64_t t, float b, float c, std::int64_t d) const {
    const float T = float(t), D = float(d);
    return c - easeOutBounce(std::int64_t(D - T), 0, c, std::int64_t(D)) + b;
}
float Animator::easeInOutBounce(std::int64_t t, float b, float c, std::int64_t d) const {
    const float T = float(t), D = float(d);
    if (T < D / 2) return easeInBounce(std::int64_t(2 * T), 0, c, std::int64_t(D)) * 0.5f + b;
    return easeOutBounce(std::int64_t(2 * T - D), 0, c, std::int64_t(D)) * 0.5f + c * 0.5f + b;
}
float Animator::easeOutInBounce(std::int64_t t, float b, float c, std::int64_t d) const {
    return outIn(&Animator::easeOutBounce, &Animator::easeInBounce, t, b, c, d);
}
