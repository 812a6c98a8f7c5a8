#pragma once
// A timeline of animators: each starts at its own frame, one timer advances the frame.

#include "Animator.h"

#include <functional>
#include <memory>
#include <vector>

class AnimationSequencer : public std::enable_shared_from_this<AnimationSequencer> {
public:
    using ItemCallback = std::function<void(AnimationSequencer&, const std::shared_ptr<Animator>&)>;
    using Callback = std::function<void(AnimationSequencer&)>;

    AnimationSequencer() = default;
    virtual ~AnimationSequencer();
    AnimationSequencer(const AnimationSequencer&) = delete;
    AnimationSequencer& operator=(const AnimationSequencer&) = delete;

    float interval = 0.005f;  // read by start()
    ItemCallback onAnimation; // each scheduled item, each tick, before its step
    Callback onFinished;      // once, when the timeline reaches its end

    // Places the item at startFrame; items stay sorted by start frame, equal ones in the order added.
    virtual void add(const std::shared_ptr<Animator>& item, std::int64_t startFrame);
    // Takes the item off the timeline. The scheduled items, the index and the end of the timeline
    // stay as they are.
    virtual void remove(const std::shared_ptr<Animator>& item);
    // Empties the timeline and sets its end back to 0; timer, frame, index and scheduled items stay.
    virtual void removeAll();
    virtual std::int64_t getCount() const { return std::int64_t(_animators.size()); }
    virtual std::int64_t getCurrentCount() const { return std::int64_t(_animatedItems.size()); }
    virtual std::int64_t getCurrentFrame() const { return _currentFrame; }
    virtual std::int64_t getCurrentIndex() const { return _currentIndex; }
    std::int64_t getMaxFrames() const { return _maxFrames; }

    // Replaces a timer started earlier. Each tick advances the frame by one, then animates.
    virtual void start();
    // Ends the run without onFinished: frame and index back to 0, items keep their states.
    virtual void stop() { reset(); }
    // While paused the ticks still advance the frame, but nothing is stepped.
    virtual void pause() { _suspended = true; }
    virtual void continueAnimation() { _suspended = false; }
    virtual void rewind();
    // Items starting before the frame are stopped, the others re-armed; the scheduled items stay.
    virtual void seek(std::int64_t frame);
    virtual void animate();
    // Raises the end of the timeline to the latest start frame plus frame count.
    virtual void calculateFrames();

private:
    void findAnimators();
    void scheduleItem(const std::shared_ptr<Animator>& item);
    void reset();

    std::shared_ptr<plat::Timer> _timer;
    std::int64_t _currentFrame = 0;
    std::int64_t _maxFrames = 0;
    std::vector<std::shared_ptr<Animator>> _animators;
    std::vector<std::shared_ptr<Animator>> _animatedItems;
    std::int64_t _currentIndex = 0;
    bool _suspended = false;
};
