#pragma once
// Responders: views, view controllers, windows and the application, each linked to the next one up
// the chain, each with the actions it implements. An action is a selector, here its name
// ("copy:"); a responder class declares the ones it implements with registerAction, which is what
// a method of that name is elsewhere. canPerformAction answers whether this responder implements
// the action and, when it does not, what the next responder answers.
//
// The chain: a view -> its view controller when it is one's root view, else its superview; a view
// controller -> the controller presenting it, else its view's superview, else its parent; a window ->
// the application; the application ends it. Main thread only.

#include <any>
#include <set>
#include <string>

namespace plat {

using Selector = std::string;

class UIResponder {
public:
    virtual ~UIResponder() = default;

    // The next responder up the chain, or null where it ends. Valid while the chain stands.
    virtual UIResponder* nextResponder() const { return nullptr; }
    // Whether this responder implements `action`, else the next responder's answer; false at the end.
    virtual bool canPerformAction(const Selector& action, const std::any& sender) const;

    // Declares that this responder implements `action`.
    void registerAction(const Selector& action) { actions_.insert(action); }
    bool implementsAction(const Selector& action) const { return actions_.count(action) != 0; }

private:
    std::set<Selector> actions_;
};

} // namespace plat
