#include "YUX_Sorvane_Extension_Parameters.h"

#include <charconv>
#include <string>

namespace {

constexpr int kBands = 32;
constexpr plat::AudioUnitParameterOptions kFlags =
    plat::kAudioUnitParameterFlag_IsReadable | plat::kAudioUnitParameterFlag_IsWritable;

std::shared_ptr<plat::AUParameter> makeParameter(std::string identifier, std::string name,
                                                 plat::AUParameterAddress address,
                                                 plat::AudioUnitParameterUnit unit, plat::AUValue initial) {
    auto parameter =
        plat::AUParameterTree::createParameter(std::move(identifier), std::move(name), address, 0.0f, 1.0f,
                                               unit, std::nullopt, kFlags, std::nullopt, {});
    parameter->setValue(initial);
    return parameter;
}

} // namespace

YUX_Sorvane_Extension_Parameters::YUX_Sorvane_Extension_Parameters(
    std::shared_ptr<YUX_Sorvane_ExtensionDSPKernelAdapter> kernelAdapter) {
    create();
    // Before the observer exists, so these pushes do not pass through it.
    for (const auto& parameter : parameterTree_->allParameters())
        kernelAdapter->setParameter(parameter->address(), parameter->value());

    parameterTree_->setImplementorValueObserver(
        [kernelAdapter](plat::AUParameter& parameter, plat::AUValue value) {
            kernelAdapter->setParameter(parameter.address(), value);
        });
    parameterTree_->setImplementorValueProvider([kernelAdapter](plat::AUParameter& parameter) {
        return kernelAdapter->valueForParameter(parameter.address());
    });
    parameterTree_->setImplementorStringFromValueCallback(
        [](plat::AUParameter& parameter, const plat::AUValue* value) {
            return valueString(value ? *value : parameter.value());
        });
}

std::string YUX_Sorvane_Extension_Parameters::valueString(plat::AUValue value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

void YUX_Sorvane_Extension_Parameters::create() {
    std::vector<std::shared_ptr<plat::AUParameterNode>> list;
    list.push_back(makeParameter("kBypass", "Bypass", 0, plat::kAudioUnitParameterUnit_Boolean, 0.0f));
    list.push_back(makeParameter("kProcess", "kProcess", 1, plat::kAudioUnitParameterUnit_Boolean, 0.5f));
    list.push_back(makeParameter("kAttack", "kAttack", 2, plat::kAudioUnitParameterUnit_Generic, 0.1f));
    list.push_back(makeParameter("kRelease", "kRelease", 3, plat::kAudioUnitParameterUnit_Generic, 0.4f));
    groups_.push_back(plat::AUParameterTree::createGroup("kGlobalParameters", "YUX Sorvane Global", list));
    list.clear();

    struct BandGroup {
        const char* identifier;
        const char* name;
        const char* groupName;
        plat::AUParameterAddress base;
    };
    static constexpr BandGroup bandGroups[] = {
        {"kLevel", "Level ", "Level Values", 1000},
        {"kResonance", "Resonance ", "Resonance Values", 2000},
        {"kCompansion", "Compansion ", "Compansion Values", 3000},
    };
    for (const auto& group : bandGroups) {
        for (int i = 0; i < kBands; ++i) {
            const std::string number = std::to_string(i + 1);
            list.push_back(makeParameter(group.identifier + number, group.name + number,
                                         group.base + plat::AUParameterAddress(i),
                                         plat::kAudioUnitParameterUnit_Generic, 0.5f));
        }
        groups_.push_back(plat::AUParameterTree::createGroup(group.identifier, group.groupName, list));
        list.clear();
    }

    parameterTree_ = plat::AUParameterTree::createTree({groups_.begin(), groups_.end()});
}
