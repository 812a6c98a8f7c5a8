#include "plat/parameters.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace plat {

AUParameter::AUParameter(Private, std::string identifier, std::string name, AUParameterAddress address,
                         AUValue min, AUValue max, AudioUnitParameterUnit unit,
                         std::optional<std::string> unitName, AudioUnitParameterOptions flags,
                         std::optional<std::vector<std::string>> valueStrings,
                         std::vector<AUParameterAddress> dependents)
    : AUParameterNode(std::move(identifier), std::move(name)), address_(address), min_(min), max_(max),
      unit_(unit), unitName_(std::move(unitName)), flags_(flags), valueStrings_(std::move(valueStrings)),
      dependents_(std::move(dependents)) {}

AUValue AUParameter::value() const {
    const AUParameterTree* tree = tree_.load(std::memory_order_acquire);
    if (tree && tree->provider_) return tree->provider_(const_cast<AUParameter&>(*this));
    return value_.load(std::memory_order_relaxed);
}

void AUParameter::setValue(AUValue value, AUParameterObserverToken originator) {
    // A parameter only ever holds a number within its range: NaN is no value at all.
    if (std::isnan(value)) return;
    value = std::max(min_, std::min(value, max_));
    value_.store(value, std::memory_order_relaxed);
    const AUParameterTree* tree = tree_.load(std::memory_order_acquire);
    if (!tree) return;
    if (tree->observer_) tree->observer_(*this, value);
    tree->notify(address_, value, originator);
}

std::string AUParameter::stringFromValue(const AUValue* value) const {
    const AUParameterTree* tree = tree_.load(std::memory_order_acquire);
    if (tree && tree->stringFromValue_) return tree->stringFromValue_(const_cast<AUParameter&>(*this), value);
    const AUValue v = value ? *value : this->value();
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, v);
    return std::string(text, result.ptr);
}

std::vector<std::shared_ptr<AUParameter>> AUParameterGroup::allParameters() const {
    std::vector<std::shared_ptr<AUParameter>> all;
    for (const auto& child : children_) {
        if (auto parameter = std::dynamic_pointer_cast<AUParameter>(child)) {
            all.push_back(std::move(parameter));
        } else if (auto group = std::dynamic_pointer_cast<AUParameterGroup>(child)) {
            auto nested = group->allParameters();
            all.insert(all.end(), nested.begin(), nested.end());
        }
    }
    return all;
}

std::shared_ptr<AUParameter>
AUParameterTree::createParameter(std::string identifier, std::string name, AUParameterAddress address,
                                 AUValue min, AUValue max, AudioUnitParameterUnit unit,
                                 std::optional<std::string> unitName, AudioUnitParameterOptions flags,
                                 std::optional<std::vector<std::string>> valueStrings,
                                 std::vector<AUParameterAddress> dependentParameters) {
    return std::make_shared<AUParameter>(AUParameter::Private{}, std::move(identifier), std::move(name),
                                         address, min, max, unit, std::move(unitName), flags,
                                         std::move(valueStrings), std::move(dependentParameters));
}

std::shared_ptr<AUParameterGroup>
AUParameterTree::createGroup(std::string identifier, std::string name,
                             std::vector<std::shared_ptr<AUParameterNode>> children) {
    return std::make_shared<AUParameterGroup>(Private{}, std::move(identifier), std::move(name),
                                              std::move(children));
}

std::shared_ptr<AUParameterTree>
AUParameterTree::createTree(std::vector<std::shared_ptr<AUParameterNode>> children) {
    auto tree = std::make_shared<AUParameterTree>(Private{}, std::move(children));
    for (auto& parameter : tree->allParameters()) {
        // The first parameter of an address wins the look-up, as the host sees it first.
        tree->byAddress_.emplace(parameter->address(), parameter);
        parameter->tree_.store(tree.get(), std::memory_order_release);
    }
    return tree;
}

AUParameterTree::~AUParameterTree() {
    // Parameters held elsewhere must not reach back into a tree that is gone.
    for (auto& parameter : allParameters()) {
        AUParameterTree* self = this;
        parameter->tree_.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    }
}

std::shared_ptr<AUParameter> AUParameterTree::parameterWithAddress(AUParameterAddress address) const {
    const auto it = byAddress_.find(address);
    return it == byAddress_.end() ? nullptr : it->second;
}

AUParameterObserverToken AUParameterTree::tokenByAddingParameterObserver(AUParameterObserver observer) {
    std::lock_guard lock(observersMutex_);
    const AUParameterObserverToken token = nextToken_++;
    observers_.emplace_back(token, std::make_shared<const AUParameterObserver>(std::move(observer)));
    return token;
}

void AUParameterTree::removeParameterObserver(AUParameterObserverToken token) {
    std::lock_guard lock(observersMutex_);
    std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

void AUParameterTree::notify(AUParameterAddress address, AUValue value,
                             AUParameterObserverToken originator) const {
    std::vector<std::shared_ptr<const AUParameterObserver>> current;
    {
        std::lock_guard lock(observersMutex_);
        if (observers_.empty()) return;
        current.reserve(observers_.size());
        for (const auto& [token, observer] : observers_)
            if (token != originator) current.push_back(observer);
    }
    // Called outside the lock so an observer may add or remove observers.
    for (const auto& observer : current)
        if (*observer) (*observer)(address, value);
}

} // namespace plat
