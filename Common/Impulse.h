#pragma once
// A decaying push: each tick the push shrinks by the intensity and moves the value, until it dies
// away; optionally the value bounces between two bounds.

#include "plat/dispatch.h"

#include <functional>
#include <memory>

class Impulse : public std::enable_shared_from_this<Impulse> {
public:
    using Callback = std::function<void(Impulse&)>;

    Impulse();
    Impulse(std::int64_t frames, float amount, float interval = 0.009f, float intensity = 0.75f);
    virtual ~Impulse();
    Impulse(const Impulse&) = delete;
    Impulse& operator=(const Impulse&) = delete;

    Callback onAnimation; // after every step
    Callback onFinished;  // once, when the push has died away
    Callback onCollision; // when a step reached a bound and was taken back

    // Arms the impulse; only the sign of frames matters. An intensity of magnitude 1 or more never
    // lets the push die away: the impulse then runs until stop(). An intensity that is not finite
    // is replaced by the default 0.75, and a push that is not finite counts as none.
    virtual void setup(std::int64_t frames, float amount, float interval = 0.009f, float intensity = 0.75f);
    virtual void setMinMax(bool enabled, float min, float max);
    // Replaces a timer started earlier.
    virtual void start();
    virtual void stop();
    virtual void animate();
    virtual bool isFinished() const { return _frames < 0; }
    virtual float getSourceValue() const { return _source; }
    float getValue() const { return _value; }
    float getIntensity() const { return _intensity; }

private:
    void reset();

    std::shared_ptr<plat::Timer> _timer;
    std::int64_t _frames = -1;
    std::int64_t _step = 0;
    float _amount = 0;
    float _value = 0;
    float _source = 0;
    float _intensity = 0.75f;
    float _threshold = 0.001f;
    float _interval = 0.009f;
    float _minVal = -1024;
    float _maxVal = 1024;
    bool _collision = false;
};
