#pragma once
// Frame-counted value animation along easing curves.

#include "plat/dispatch.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

enum class EnumEasing : std::int64_t {
    EASING_easeNone,
    EASING_easeInQuad,
    EASING_easeOutQuad,
    EASING_easeInOutQuad,
    EASING_easeOutInQuad,
    EASING_easeInCubic,
    EASING_easeOutCubic,
    EASING_easeInOutCubic,
    EASING_easeOutInCubic,
    EASING_easeInQuart,
    EASING_easeOutQuart,
    EASING_easeInOutQuart,
    EASING_easeOutInQuart,
    EASING_easeInQuint,
    EASING_easeOutQuint,
    EASING_easeInOutQuint,
    EASING_easeOutInQuint,
    EASING_easeInSine,
    EASING_easeOutSine,
    EASING_easeInOutSine,
    EASING_easeOutInSine,
    EASING_easeInExpo,
    EASING_easeOutExpo,
    EASING_easeInOutExpo,
    EASING_easeOutInExpo,
    EASING_easeInCirc,
    EASING_easeOutCirc,
    EASING_easeInOutCirc,
    EASING_easeOutInCirc,
    EASING_easeInElastic,
    EASING_easeOutElastic,
    EASING_easeInOutElastic,
    EASING_easeOutInElastic,
    EASING_easeInBack,
    EASING_easeOutBack,
    EASING_easeInOutBack,
    EASING_easeOutInBack,
    EASING_easeInBounce,
    EASING_easeOutBounce,
    EASING_easeInOutBounce,
    EASING_easeOutInBounce,
    EASING_easeLast
};

// The case at that position, or nothing outside 0...41.
std::optional<EnumEasing> enumEasing(std::int64_t rawValue);
constexpr std::int64_t rawValue(EnumEasing e) {
    return static_cast<std::int64_t>(e);
}

class AnimationSequencer;

// Moves one value from a source to a destination over a counted number of frames, one frame per
// animate(). start() drives it from a repeating timer on the calling thread's run loop; the timer
// keeps the animator alive until it stops, so it must be owned by a std::shared_ptr to start.
class Animator : public std::enable_shared_from_this<Animator> {
public:
    using ValueCallback = std::function<void(Animator&, float)>;
    using LoopCallback = std::function<void(Animator&)>;

    Animator();
    Animator(float sourceValue, float destinationValue, std::int64_t frames, float interval = 0.009f,
             EnumEasing type = EnumEasing::EASING_easeNone);
    virtual ~Animator();
    Animator(const Animator&) = delete;
    Animator& operator=(const Animator&) = delete;

    // Live animators in the process.
    static std::int64_t classCount();

    bool looped = false;
    ValueCallback onAnimation; // every frame, with the value before the frame's step
    ValueCallback onFinished;  // once, with the destination
    LoopCallback onLoop;       // at each turn of a looped animation

    virtual void setup(float source, float destination, std::int64_t frames, float interval = 0.009f,
                       EnumEasing type = EnumEasing::EASING_easeNone);
    virtual void reverse();
    virtual void undo();
    virtual float getDestinationValue() const { return _destination; }
    virtual float getSourceValue() const { return _source; }
    virtual float getValue() const { return _value; }
    virtual void animate();
    virtual bool isFinished() const { return _frames < 0; }
    // Replaces a timer started earlier.
    virtual void start();
    virtual void stop();
    // Re-arms with the frame count last given to setup, the linear curve and the default interval.
    virtual void rewind();
    virtual void setType(EnumEasing type);
    virtual void setInterval(float interval) { _interval = interval; }

    // Easing curves: value at frame t of d, from b by the change c.
    float easeNone(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInQuad(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutQuad(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInOutQuad(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutInQuad(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInCubic(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutCubic(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInOutCubic(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutInCubic(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInQuart(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutQuart(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInOutQuart(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutInQuart(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInQuint(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutQuint(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInOutQuint(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutInQuint(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInSine(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutSine(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInOutSine(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutInSine(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInExpo(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutExpo(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInOutExpo(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutInExpo(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInCirc(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutCirc(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInOutCirc(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutInCirc(std::int64_t t, float b, float c, std::int64_t d) const;
    // Elastic and Back may be overridden; the curve selection and the OutIn rule use the override.
    virtual float easeInElastic(std::int64_t t, float b, float c, std::int64_t d) const;
    virtual float easeOutElastic(std::int64_t t, float b, float c, std::int64_t d) const;
    virtual float easeInOutElastic(std::int64_t t, float b, float c, std::int64_t d) const;
    virtual float easeOutInElastic(std::int64_t t, float b, float c, std::int64_t d) const;
    virtual float easeInBack(std::int64_t t, float b, float c, std::int64_t d) const;
    virtual float easeOutBack(std::int64_t t, float b, float c, std::int64_t d) const;
    virtual float easeInOutBack(std::int64_t t, float b, float c, std::int64_t d) const;
    virtual float easeOutInBack(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInBounce(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutBounce(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeInOutBounce(std::int64_t t, float b, float c, std::int64_t d) const;
    float easeOutInBounce(std::int64_t t, float b, float c, std::int64_t d) const;

    // The curve selected for `type` (EASING_easeLast selects the linear curve).
    using Curve = float (Animator::*)(std::int64_t, float, float, std::int64_t) const;
    static Curve curveFor(EnumEasing type);

private:
    friend class AnimationSequencer;
    virtual void reset();
    float outIn(Curve out, Curve in, std::int64_t t, float b, float c, std::int64_t d) const;

    std::int64_t _startFrame = 0;
    std::int64_t _frameCount = 0;
    std::shared_ptr<plat::Timer> _timer;
    float _source = 0;
    float _value = 0;
    float _destination = 0;
    float _amount = 0;
    std::int64_t _frames = -1;
    std::int64_t _step = 0;
    float _interval = 0.005f;
    Curve _action = &Animator::easeNone;
    EnumEasing _type = EnumEasing::EASING_easeNone;

    static std::atomic<std::int64_t> liveCount_;
};
