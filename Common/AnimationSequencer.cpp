#include "AnimationSequencer.h"

#include "AnimationTimer.h"
#include "plat/console.h"

#include <algorithm>

AnimationSequencer::~AnimationSequencer() {
    animation_detail::invalidate(_timer);
}

void AnimationSequencer::add(const std::shared_ptr<Animator>& item, std::int64_t startFrame) {
    if (!item) {
        plat::Console::shared().writeLine("FEHLER: Das Animator Objekt ist ungültig.");
        return;
    }
    item->_startFrame = startFrame;
    _animators.push_back(item);
    std::stable_sort(_animators.begin(), _animators.end(),
                     [](const auto& a, const auto& b) { return a->_startFrame < b->_startFrame; });
    calculateFrames();
}

void AnimationSequencer::remove(const std::shared_ptr<Animator>& item) {
    // The scheduled list and the index stay as they are: an item already scheduled goes on being
    // stepped until it completes.
    if (item) {
        const auto it = std::find(_animators.begin(), _animators.end(), item);
        if (it != _animators.end()) _animators.erase(it);
    }
    calculateFrames();
}

void AnimationSequencer::removeAll() {
    // The timer, the frame, the index and the scheduled items are left as they are.
    _animators.clear();
    _animators.shrink_to_fit();
    _maxFrames = 0;
}

void AnimationSequencer::start() {
    animation_detail::startTimer(
        *this, _timer, interval,
        [](AnimationSequencer& s) {
            s._currentFrame += 1; // also while paused: the timeline runs on, animate() does nothing
            s.animate();
        },
        "AnimationSequencer");
}

void AnimationSequencer::reset() {
    animation_detail::invalidate(_timer);
    _currentIndex = 0;
    _currentFrame = 0;
}

void AnimationSequencer::rewind() {
    for (const auto& item : std::vector(_animators)) item->rewind();
}

void AnimationSequencer::seek(std::int64_t frame) {
    _currentFrame = frame;
    _currentIndex = 0;
    if (_currentFrame > _maxFrames) {
        stop();
        return;
    }
    // The scheduled list stays: an entry stopped here is dropped at the next tick, and a running
    // entry armed again here goes on being stepped before its start frame comes round.
    for (const auto& item : std::vector(_animators)) {
        if (item->_startFrame < _currentFrame) {
            item->stop();
            ++_currentIndex;
        } else {
            item->rewind();
        }
    }
}

void AnimationSequencer::calculateFrames() {
    for (const auto& item : _animators) {
        const std::int64_t end = item->_startFrame + item->_frames;
        if (end > _maxFrames) _maxFrames = end;
    }
}

void AnimationSequencer::scheduleItem(const std::shared_ptr<Animator>& item) {
    if (std::find(_animatedItems.begin(), _animatedItems.end(), item) == _animatedItems.end())
        _animatedItems.push_back(item);
}

void AnimationSequencer::findAnimators() {
    for (std::int64_t i = std::max<std::int64_t>(_currentIndex, 0); i < std::int64_t(_animators.size());
         ++i) {
        const auto& item = _animators[std::size_t(i)];
        if (item->_startFrame <= _currentFrame && !item->isFinished()) {
            _currentIndex = i;
            scheduleItem(item);
        }
    }
}

void AnimationSequencer::animate() {
    if (_suspended) return;
    auto keepAlive = weak_from_this().lock();
    if (_animators.empty()) {
        // The timeline never ends by itself: the warning repeats every tick until stop().
        plat::Console::shared().writeLine("WARNUNG: Es sind keine Animator Objekte definiert.");
        return;
    }
    findAnimators();
    for (const auto& item : std::vector(_animatedItems)) {
        if (onAnimation) {
            auto observer = onAnimation;
            observer(*this, item);
        }
        item->animate();
        if (item->isFinished()) {
            const auto it = std::find(_animatedItems.begin(), _animatedItems.end(), item);
            if (it != _animatedItems.end()) _animatedItems.erase(it);
        }
    }
    if (_currentFrame >= _maxFrames) {
        if (onFinished) {
            auto observer = onFinished;
            observer(*this);
        }
        stop();
    }
}
