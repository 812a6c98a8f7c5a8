#pragma once
// Runs several animators in parallel from one timer.

#include "Animator.h"

#include <functional>
#include <memory>
#include <vector>

class AnimatorStack : public std::enable_shared_from_this<AnimatorStack> {
public:
    using ItemCallback = std::function<void(AnimatorStack&, const std::shared_ptr<Animator>&)>;
    using Callback = std::function<void(AnimatorStack&)>;

    AnimatorStack() = default;
    virtual ~AnimatorStack();
    AnimatorStack(const AnimatorStack&) = delete;
    AnimatorStack& operator=(const AnimatorStack&) = delete;

    float interval = 0.005f;    // read by start()
    ItemCallback onAnimation;   // each running item, each tick, before its step
    Callback onFinished;        // once, on the first tick that finds nothing running
    ItemCallback onRemovedItem; // after a finished item left the list

    // Appends; duplicates, finished and running items are all accepted, an empty pointer is ignored.
    virtual void add(std::shared_ptr<Animator> item);
    virtual std::int64_t getCount() const { return std::int64_t(_animators.size()); }
    virtual std::vector<std::shared_ptr<Animator>> getItems() const { return _animators; }
    // Replaces a timer started earlier.
    virtual void start();
    // Ends the run and drops every item, without onFinished.
    virtual void stop() { reset(); }
    virtual void animate();

protected:
    virtual void reset();

private:
    std::shared_ptr<plat::Timer> _timer;
    std::vector<std::shared_ptr<Animator>> _animators;
};
