#pragma once
// Plays animators one after another, forwards or backwards, from one timer.

#include "Animator.h"

#include <functional>
#include <memory>
#include <vector>

class AnimatorChain : public std::enable_shared_from_this<AnimatorChain> {
public:
    using ItemCallback = std::function<void(AnimatorChain&, const std::shared_ptr<Animator>&)>;
    using Callback = std::function<void(AnimatorChain&)>;

    AnimatorChain() = default;
    virtual ~AnimatorChain();
    AnimatorChain(const AnimatorChain&) = delete;
    AnimatorChain& operator=(const AnimatorChain&) = delete;

    float interval = 0.005f; // read by start()
    // false: the chain steps the current item until it completes; true: it starts the item's own
    // timer and moves on at the next tick.
    bool async = false;
    ItemCallback onAnimation; // every tick, with the current item, before it is stepped or started
    Callback onFinished;      // once, when the walk has passed its last item

    virtual void add(std::shared_ptr<Animator> item);
    // Removes the first entry that is this object. The index is not adjusted: removing an earlier
    // entry makes the item after the current one current.
    virtual void remove(const std::shared_ptr<Animator>& item);
    virtual void removeAll();
    virtual std::int64_t getCount() const { return std::int64_t(_animators.size()); }
    virtual std::int64_t getCurrentIndex() const { return _currentIndex; }
    virtual std::shared_ptr<Animator> getCurrentItem() const;
    // Replaces a timer started earlier.
    virtual void start();
    // Ends the run without onFinished; the index returns to 0, items keep their states.
    virtual void stop() { reset(); }
    // Backwards the walk ends when the index moves to 0 or below (item 0 is played only by a walk
    // that begins there); takes effect at the next tick.
    virtual void setBackwards(bool direction) { _direction = direction ? -1 : 1; }
    virtual void animate();

protected:
    virtual void reset();

private:
    std::shared_ptr<plat::Timer> _timer;
    std::vector<std::shared_ptr<Animator>> _animators;
    std::int64_t _currentIndex = 0;
    std::int64_t _direction = 1;
};
