// Uses, once the process is ending, every static that a background thread may still use then: the
// main bundle, the shared registry, the test loader's helper and environment (a new scan reads both,
// though it starts no test process for the effect made in main), the decoder list, the rate
// converter's table and the unit's resource setting. Its handler is registered before any of them is
// made, so it runs after any of them that is destroyed at exit: under AddressSanitizer such a use is
// a certain report, and in any build each must still give what it gave in main. Exits 1, saying
// which, when one does not.
#include "YUX_Sorvane_Extension_AudioUnit.h"

#include "../../platform/src/engine/RateConverter.h"
#include "plat/audiofile.h"
#include "plat/components.h"
#include "plat/files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using plat::engine_detail::RateConverter;

const fs::path kApp = SORVANE_APP_DIR;
const plat::AudioComponentDescription kEffect{plat::fourCC("aumf"), plat::fourCC("yuSV"),
                                              plat::fourCC("KWOB"), 0, 0};

struct Ramp final : RateConverter::Source {
    float next = 0;
    void pull(const plat::AudioBufferList& into, plat::AUAudioFrameCount frames) override {
        for (plat::AUAudioFrameCount i = 0; i < frames; ++i, next += 0.001f)
            static_cast<float*>(into.mBuffers[0].mData)[i] = next;
    }
};

// 256 frames of a ramp at 44.1 kHz, converted to 48 kHz.
std::vector<float> converted() {
    RateConverter converter(1);
    Ramp ramp;
    std::vector<float> out(256);
    plat::AudioBufferList list;
    list.mNumberBuffers = 1;
    list.mBuffers[0] = {1, std::uint32_t(out.size() * sizeof(float)), out.data()};
    converter.render(44100, 48000, list, 1, plat::AUAudioFrameCount(out.size()), ramp);
    return out;
}

bool decodes() {
    return plat::AVAudioFile::forReading(plat::URL::fileURL(kApp / "Resources/1.m4a")).ok();
}

bool finds(const plat::AVAudioUnitComponentManager& registry) {
    return !registry.componentsMatching(kEffect).empty();
}

// What main found, for the handler to find again.
std::string bundle;
std::vector<float> conversion;
const fs::path resources = "/exit-order/resources";

void useAtExit() {
    std::vector<const char*> lost;
    if (plat::Bundle::main().bundleURL().path() != bundle) lost.push_back("the main bundle");
    if (!finds(plat::AVAudioUnitComponentManager::sharedAudioUnitComponentManager()))
        lost.push_back("the shared registry");
    if (!finds(plat::AVAudioUnitComponentManager({kApp / "PlugIns"})))
        lost.push_back("the test loader's helper or environment");
    if (!decodes()) lost.push_back("the decoder list");
    if (converted() != conversion) lost.push_back("the rate converter's table");
    if (YUX_Sorvane_Extension_AudioUnit::resourceDirectory() != resources)
        lost.push_back("the unit's resource setting");
    for (const char* what : lost) std::fprintf(stderr, "exit_order: %s was destroyed at exit\n", what);
    std::fflush(stderr);
    if (!lost.empty()) std::_Exit(1);
}

} // namespace

int main() {
    std::atexit(useAtExit);
    ::setenv(plat::kPlugInPathVariable, (kApp / "PlugIns").c_str(), 1);
    bundle = plat::Bundle::main().bundleURL().path();
    auto& registry = plat::AVAudioUnitComponentManager::sharedAudioUnitComponentManager();
    std::promise<bool> made;
    registry.instantiate(kEffect, [&](auto unit) { made.set_value(unit.ok()); });
    if (!made.get_future().get() || !decodes()) {
        std::fprintf(stderr, "exit_order: the effect cannot be made or a clip cannot be read\n");
        return 2;
    }
    conversion = converted();
    YUX_Sorvane_Extension_AudioUnit::setResourceDirectoryForTesting(resources);
    return 0;
}
