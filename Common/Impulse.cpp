#include "Impulse.h"

#include "AnimationTimer.h"

#include <cmath>

Impulse::Impulse() {
    reset();
}

Impulse::Impulse(std::int64_t frames, float amount, float interval, float intensity) : Impulse() {
    Impulse::setup(frames, amount, interval, intensity);
}

Impulse::~Impulse() {
    animation_detail::invalidate(_timer);
}

void Impulse::setup(std::int64_t frames, float amount, float interval, float intensity) {
    _frames = frames;
    _step = 0;
    if (_frames < 0) _frames = 0;
    // An endless push would never die away either.
    if (!std::isfinite(amount)) amount = 0;
    _source = amount;
    _amount = amount;
    // A factor that is not a number or endless is refused for the default. One of magnitude 1 or
    // more is taken as given: the push then never dies away and the run lasts until stop().
    if (!std::isfinite(intensity)) intensity = 0.75f;
    _intensity = intensity;
    _interval = interval;
}

void Impulse::setMinMax(bool enabled, float min, float max) {
    _collision = enabled;
    _minVal = min;
    _maxVal = max;
}

void Impulse::start() {
    animation_detail::startTimer(
        *this, _timer, _interval, [](Impulse& i) { i.animate(); }, "Impulse");
}

void Impulse::stop() {
    auto keepAlive = weak_from_this().lock();
    animation_detail::invalidate(_timer);
    reset();
}

void Impulse::reset() {
    _frames = -1;
    _step = 0;
    _amount = 0;
    _value = 0;
}

void Impulse::animate() {
    _amount = _amount * _intensity;
    if (std::fabs(_amount) >= _threshold) {
        _step += 1;
        _value = _value + _amount;
        if (_collision && (_value <= _minVal || _value >= _maxVal)) {
            _amount = -_amount;
            _value = _value + _amount;
            if (onCollision) {
                auto observer = onCollision;
                observer(*this);
            }
        }
        if (onAnimation) {
            auto observer = onAnimation;
            observer(*this);
        }
        return;
    }
    _amount = 0;
    auto keepAlive = weak_from_this().lock();
    if (onFinished) {
        auto observer = onFinished;
        observer(*this);
    }
    stop();
}
