#pragma once
// The effect's one parameter set: 100 parameters in four groups, whose values live in the kernel.

#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"

#include "plat/audiounit.h"
#include "plat/parameters.h"

#include <memory>
#include <vector>

class YUX_Sorvane_Extension_Parameters {
public:
    // Builds the tree, pushes every default into the kernel, then wires the tree's callbacks to
    // the adapter: every value set on the tree reaches the kernel, every read comes from it.
    explicit YUX_Sorvane_Extension_Parameters(
        std::shared_ptr<YUX_Sorvane_ExtensionDSPKernelAdapter> kernelAdapter);

    // The audio unit the tree belongs to; empty until set, and empty again once that unit is gone.
    // The unit owns this object, so the reference is weak: a strong one would keep both alive for
    // ever, a plain pointer would dangle after the unit's destruction.
    std::shared_ptr<plat::AUAudioUnit> unit() const { return unit_.lock(); }
    void setUnit(const std::shared_ptr<plat::AUAudioUnit>& unit) { unit_ = unit; }

    const std::shared_ptr<plat::AUParameterTree>& parameterTree() const { return parameterTree_; }
    const std::vector<std::shared_ptr<plat::AUParameterGroup>>& groups() const { return groups_; }

    // The display text of a value: its shortest decimal form.
    static std::string valueString(plat::AUValue value);

private:
    void create();

    std::weak_ptr<plat::AUAudioUnit> unit_;
    std::shared_ptr<plat::AUParameterTree> parameterTree_;
    std::vector<std::shared_ptr<plat::AUParameterGroup>> groups_;
};
