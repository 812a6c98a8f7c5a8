#include "AnimatorStack.h"

#include "AnimationTimer.h"

#include <algorithm>

AnimatorStack::~AnimatorStack() {
    animation_detail::invalidate(_timer);
}

void AnimatorStack::add(std::shared_ptr<Animator> item) {
    if (item) _animators.push_back(std::move(item));
}

void AnimatorStack::start() {
    animation_detail::startTimer(
        *this, _timer, interval, [](AnimatorStack& s) { s.animate(); }, "AnimatorStack");
}

void AnimatorStack::reset() {
    animation_detail::invalidate(_timer);
    _animators.clear();
    _animators.shrink_to_fit();
}

void AnimatorStack::animate() {
    auto keepAlive = weak_from_this().lock(); // a callback may drop the last outside owner
    const auto snapshot = _animators;         // items added or removed during the tick wait for the next
    bool running = false;
    for (const auto& item : snapshot) {
        if (item->isFinished()) continue;
        if (onAnimation) {
            auto observer = onAnimation;
            observer(*this, item);
        }
        item->animate();
        running = true;
        if (item->isFinished()) {
            const auto it = std::find(_animators.begin(), _animators.end(), item);
            if (it == _animators.end()) continue; // a callback already emptied the list
            _animators.erase(it);
            if (onRemovedItem) {
                auto observer = onRemovedItem;
                observer(*this, item);
            }
        }
    }
    if (!running) {
        if (onFinished) {
            auto observer = onFinished;
            observer(*this);
        }
        stop();
    }
}
