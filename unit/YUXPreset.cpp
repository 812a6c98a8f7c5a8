#include "YUXPreset.h"

#include "plat/console.h"

void YUXPreset::makeFrom(const plat::AUParameterGroup* tree) {
    if (!tree) {
        plat::Console::shared().writeLine("PresetPatch: The parameter group has no children.");
        return;
    }
    for (const auto& child : tree->children()) {
        const auto* group = dynamic_cast<const plat::AUParameterGroup*>(child.get());
        if (!group) continue;
        auto preset = std::make_unique<PresetGroup>();
        preset->identifier = group->identifier();
        for (const auto& parameter : group->allParameters()) {
            PresetParam param;
            param.address = parameter->address();
            param.identifier = parameter->identifier();
            param.value = parameter->value();
            preset->params.push_back(std::move(param));
        }
        patch_.groups.push_back(std::move(preset));
        makeFrom(group);
    }
}

plat::Result<void> YUXPreset::makeFrom(const std::optional<plat::plist::Dictionary>& state) {
    if (!state) return {};
    auto read = patch_.fromDictionary(*state);
    if (!read.ok()) return read;
    reportParameters();
    return {};
}

plat::Result<void> YUXPreset::load(const std::filesystem::path& path) {
    auto read = patch_.loadFromFile(path);
    if (!read.ok()) return read;
    reportParameters();
    return {};
}

void YUXPreset::reportParameters() const {
    for (const auto& group : patch_.groups)
        for (const auto& param : group->params)
            foundParameter(param.group ? param.group->id : 0, param.identifier, param.address, param.value);
}

void YUXPreset::foundParameter(long group, const std::string& identifier, plat::AUParameterAddress address,
                               plat::AUValue value) const {
    if (delegate_) delegate_->onFoundParameter(group, identifier, address, value);
}
