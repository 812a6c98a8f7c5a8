#pragma once
// Parameter tree: nodes, groups, parameters, and the callbacks through which an audio unit
// backs the values with its own store.
//
// A tree is built once and never changes shape, so look-ups need no lock. Values may be set and
// read from any thread; observers added by token are kept under a lock that is never taken on the
// render thread (parameter events reach the kernel directly, not through the tree).

#include "plat/audio.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace plat {

using AudioUnitParameterUnit = std::uint32_t;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Generic = 0;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Indexed = 1;
inline constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Boolean = 2;

using AudioUnitParameterOptions = std::uint32_t;
inline constexpr AudioUnitParameterOptions kAudioUnitParameterFlag_IsReadable = 1u << 30;
inline constexpr AudioUnitParameterOptions kAudioUnitParameterFlag_IsWritable = 1u << 31;

// 0 is never handed out, so it can stand for "no originator".
using AUParameterObserverToken = std::uint64_t;
using AUParameterObserver = std::function<void(AUParameterAddress address, AUValue value)>;

class AUParameterTree;

class AUParameterNode {
public:
    virtual ~AUParameterNode() = default;
    const std::string& identifier() const { return identifier_; }
    const std::string& displayName() const { return displayName_; }

    AUParameterNode(const AUParameterNode&) = delete;
    AUParameterNode& operator=(const AUParameterNode&) = delete;

protected:
    AUParameterNode(std::string identifier, std::string displayName)
        : identifier_(std::move(identifier)), displayName_(std::move(displayName)) {}

private:
    std::string identifier_;
    std::string displayName_;
};

class AUParameter final : public AUParameterNode {
public:
    AUParameterAddress address() const { return address_; }
    AUValue minValue() const { return min_; }
    AUValue maxValue() const { return max_; }
    AudioUnitParameterUnit unit() const { return unit_; }
    const std::optional<std::string>& unitName() const { return unitName_; }
    AudioUnitParameterOptions flags() const { return flags_; }
    const std::optional<std::vector<std::string>>& valueStrings() const { return valueStrings_; }
    const std::vector<AUParameterAddress>& dependentParameters() const { return dependents_; }

    // Through the tree's value provider when it has one (asked once per read).
    AUValue value() const;
    // Stores the value held to [min, max], hands it to the tree's implementor observer (once),
    // then tells every observer added by token except `originator`. NaN is ignored.
    void setValue(AUValue value, AUParameterObserverToken originator = 0);
    // The tree's string callback, given `value` or, when null, nothing (it reads the value).
    std::string stringFromValue(const AUValue* value = nullptr) const;

private:
    friend class AUParameterTree;
    struct Private {};

public:
    AUParameter(Private, std::string identifier, std::string name, AUParameterAddress address, AUValue min,
                AUValue max, AudioUnitParameterUnit unit, std::optional<std::string> unitName,
                AudioUnitParameterOptions flags, std::optional<std::vector<std::string>> valueStrings,
                std::vector<AUParameterAddress> dependents);

private:
    AUParameterAddress address_;
    AUValue min_, max_;
    AudioUnitParameterUnit unit_;
    std::optional<std::string> unitName_;
    AudioUnitParameterOptions flags_;
    std::optional<std::vector<std::string>> valueStrings_;
    std::vector<AUParameterAddress> dependents_;
    std::atomic<AUValue> value_{0};
    std::atomic<AUParameterTree*> tree_{nullptr};
};

class AUParameterGroup : public AUParameterNode {
public:
    const std::vector<std::shared_ptr<AUParameterNode>>& children() const { return children_; }
    // Every parameter below this group, depth first, in child order.
    std::vector<std::shared_ptr<AUParameter>> allParameters() const;

protected:
    friend class AUParameterTree;
    struct Private {};

public:
    AUParameterGroup(Private, std::string identifier, std::string name,
                     std::vector<std::shared_ptr<AUParameterNode>> children)
        : AUParameterNode(std::move(identifier), std::move(name)), children_(std::move(children)) {}

private:
    std::vector<std::shared_ptr<AUParameterNode>> children_;
};

class AUParameterTree final : public AUParameterGroup {
public:
    using ValueObserver = std::function<void(AUParameter& parameter, AUValue value)>;
    using ValueProvider = std::function<AUValue(AUParameter& parameter)>;
    using StringFromValue = std::function<std::string(AUParameter& parameter, const AUValue* value)>;

    static std::shared_ptr<AUParameter>
    createParameter(std::string identifier, std::string name, AUParameterAddress address, AUValue min,
                    AUValue max, AudioUnitParameterUnit unit, std::optional<std::string> unitName,
                    AudioUnitParameterOptions flags, std::optional<std::vector<std::string>> valueStrings,
                    std::vector<AUParameterAddress> dependentParameters);
    static std::shared_ptr<AUParameterGroup>
    createGroup(std::string identifier, std::string name,
                std::vector<std::shared_ptr<AUParameterNode>> children);
    // The tree takes its parameters over: their values go through its callbacks from then on.
    static std::shared_ptr<AUParameterTree>
    createTree(std::vector<std::shared_ptr<AUParameterNode>> children);

    ~AUParameterTree() override;

    std::shared_ptr<AUParameter> parameterWithAddress(AUParameterAddress address) const;

    // Install these before the tree is shared with other threads; they are read without a lock.
    void setImplementorValueObserver(ValueObserver fn) { observer_ = std::move(fn); }
    void setImplementorValueProvider(ValueProvider fn) { provider_ = std::move(fn); }
    void setImplementorStringFromValueCallback(StringFromValue fn) { stringFromValue_ = std::move(fn); }
    const ValueObserver& implementorValueObserver() const { return observer_; }
    const ValueProvider& implementorValueProvider() const { return provider_; }
    const StringFromValue& implementorStringFromValueCallback() const { return stringFromValue_; }

    // The observer is called on the thread that set the value, once per change.
    AUParameterObserverToken tokenByAddingParameterObserver(AUParameterObserver observer);
    // After this returns the observer is not called for later changes.
    void removeParameterObserver(AUParameterObserverToken token);

    AUParameterTree(Private p, std::vector<std::shared_ptr<AUParameterNode>> children)
        : AUParameterGroup(p, "", "", std::move(children)) {}

private:
    friend class AUParameter;
    void notify(AUParameterAddress address, AUValue value, AUParameterObserverToken originator) const;

    std::unordered_map<AUParameterAddress, std::shared_ptr<AUParameter>> byAddress_;
    ValueObserver observer_;
    ValueProvider provider_;
    StringFromValue stringFromValue_;

    mutable std::mutex observersMutex_;
    // Held by shared pointer so a notification can run outside the lock.
    std::vector<std::pair<AUParameterObserverToken, std::shared_ptr<const AUParameterObserver>>> observers_;
    AUParameterObserverToken nextToken_ = 1;
};

} // namespace plat
