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
    // The index stays where it is; a tick brings it back inside the list if it fell off the end.
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
        // The timer keeps running: items added later are played, and until then every tick warns.
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
    const auto before = _currentIndex;
    if (!async) {
        item->animate();
        if (item->isFinished()) _currentIndex += _direction;
    } else {
        item->start();
        _currentIndex += _direction;
    }

    // The walk ends when the index, after moving, has left the list forwards or reached 0 or less
    // backwards: a backward walk never plays item 0 unless it began there.
    const bool moved = _currentIndex != before;
    const bool pastEnd =
        moved && (_direction > 0 ? _currentIndex >= std::int64_t(_animators.size()) : _currentIndex <= 0);
    if (pastEnd) {
        if (onFinished) {
            auto observer = onFinished;
            observer(*this);
        }
        stop();
    }
}
