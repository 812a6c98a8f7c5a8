#pragma once
// The unit's one door to presets and full state: snapshots the parameter tree as a preset
// document and hands the values of a document read back to its delegate.
//
// Each preset object reports to the delegate it was made with, and only once the whole document
// has been read and found sound: a look-up made without a delegate changes no unit, and a load
// changes only the unit that asked for it.

#include "PresetPatch.h"

#include "plat/parameters.h"

#include <filesystem>
#include <optional>
#include <string>

class YUXPresetDelegate {
public:
    virtual ~YUXPresetDelegate() = default;
    virtual void onFoundParameter(long group, const std::string& identifier, plat::AUParameterAddress address,
                                  plat::AUValue value) = 0;
};

class YUXPreset {
public:
    explicit YUXPreset(YUXPresetDelegate* delegate = nullptr) : delegate_(delegate) {}

    PresetPatch& patch() { return patch_; }
    const PresetPatch& patch() const { return patch_; }
    YUXPresetDelegate* delegate() const { return delegate_; }

    // Appends a preset group per group of the tree (nested groups follow their parent).
    void makeFrom(const plat::AUParameterGroup* tree);
    // Nothing given: nothing happens.
    plat::Result<void> makeFrom(const std::optional<plat::plist::Dictionary>& state);
    plat::plist::Dictionary getDictionary() const { return patch_.toDictionary(); }
    plat::Result<void> save(const std::filesystem::path& path) const { return patch_.saveToFile(path); }
    plat::Result<void> load(const std::filesystem::path& path);

private:
    void foundParameter(long group, const std::string& identifier, plat::AUParameterAddress address,
                        plat::AUValue value) const;
    void reportParameters() const;

    PresetPatch patch_;
    YUXPresetDelegate* delegate_;
};
