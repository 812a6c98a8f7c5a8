#include "AnimatorChain.h"

#include "AnimationTimer.h"
#include "plat/console.h"

#include <algorithm>

AnimatorChain::~AnimatorChain() {
    animation_detail::invalidate(_timer);
}

void AnimatorChain::add(std::shared_ptr<Animator> item) {
    if (item) _animators.push_back(std::move(item));
}

void AnimatorChain::remove(const std::shared_ptr<Animator>& item) {
    if (!item) return;
    const auto it = std::find(_animators.begin(), _animators.end(), item);
    if (it == _animators.end()) return;
    // The index stays: removing an entry before the current one makes the next item current, and
    // an index left past the end is brought back to the last entry at the next tick.
    _animators.erase(it);
}

void AnimatorChain::removeAll() {
    stop();
    _animators.clear();
    _animators.shrink_to_fit();
}

std::shared_ptr<Animator> AnimatorChain::getCurrentItem() const {
    if (_currentIndex < 0 || _currentIndex >= std::int64_t(_animators.size())) return nullptr;
    return _animators[std::size_t(_currentIndex)];
}

void AnimatorChain::start() {
    animation_detail::startTimer(
        *this, _timer, interval, [](AnimatorChain& c) { c.animate(); }, "AnimatorChain");
}

void AnimatorChain::reset() {
    animation_detail::invalidate(_timer);
    _currentIndex = 0;
}

void AnimatorChain::animate() {
    auto keepAlive = weak_from_this().lock();
    if (_animators.empty()) {
        // The timer keeps running: items may still be added, and the warning repeats until then
        // or until stop().
        plat::Console::shared().writeLine("WARNUNG: Es sind keine Animator Objekte definiert.");
        return;
    }
    const auto count = std::int64_t(_animators.size());
    if (_currentIndex < 0 || _currentIndex >= count) _currentIndex = count - 1;

    const auto item = _animators[std::size_t(_currentIndex)];
    if (onAnimation) {
        auto observer = onAnimation;
        observer(*this, item);
    }
    bool moved = true;
    if (!async) {
        item->animate();
        moved = item->isFinished();
    } else {
        item->start();
    }
    if (moved) _currentIndex += _direction;

    // Backwards the walk ends once the index has moved to 0 or below, so item 0 is played only by a
    // walk that begins there; one that does is played to completion before the walk ends.
    const bool pastEnd =
        _direction > 0 ? _currentIndex >= std::int64_t(_animators.size()) : moved && _currentIndex <= 0;
    if (pastEnd) {
        if (onFinished) {
            auto observer = onFinished;
            observer(*this);
        }
        stop();
    }
}
