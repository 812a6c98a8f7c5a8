// Feeds arbitrary bytes to the preset document reader, as a preset file or a host's state would.
#include "PresetPatch.h"
#include "YUXPreset.h"

#include "plat/console.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

class Checker : public YUXPresetDelegate {
public:
    void onFoundParameter(long, const std::string&, plat::AUParameterAddress, plat::AUValue value) override {
        // Whatever the document, no value that reaches a unit may be NaN or infinite.
        if (!std::isfinite(value)) __builtin_trap();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        plat::Console::shared().setSink([](std::string_view) {});
        return true;
    }();
    (void)quiet;
    PresetPatch patch;
    if (!patch.fromData(std::span<const std::uint8_t>(data, size)).ok()) return 0;
    // A document that was read is written and read again, reporting its values on the way.
    Checker checker;
    YUXPreset preset(&checker);
    if (!preset.makeFrom(patch.toDictionary()).ok()) __builtin_trap();
    return 0;
}
