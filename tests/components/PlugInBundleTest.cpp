// The plug-in's own bundle from the build tree, found through the search path and its record alone.

#include "ComponentsTestSupport.h"

#include "plat/dispatch.h"
#include "plat/files.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// Renders `frames` of a sine through the unit, both channels, and returns the left output.
std::vector<float> render(plat::AUAudioUnit& unit, std::uint32_t frames) {
    std::vector<float> input(frames), left(frames), right(frames);
    for (std::uint32_t i = 0; i < frames; ++i) input[i] = 0.5f * float(std::sin(0.13 * i));
    const plat::AURenderPullInputBlock pull = [&](auto*, auto*, plat::AUAudioFrameCount n, plat::NSInteger,
                                                  plat::AudioBufferList* list) {
        for (std::uint32_t c = 0; c < list->mNumberBuffers; ++c)
            std::copy_n(input.begin(), n, static_cast<float*>(list->mBuffers[c].mData));
        return plat::noErr;
    };
    plat::AudioBufferList out;
    out.mNumberBuffers = 2;
    out.mBuffers[0] = {1, frames * 4, left.data()};
    out.mBuffers[1] = {1, frames * 4, right.data()};
    plat::AudioTimeStamp time;
    plat::AudioUnitRenderActionFlags flags = 0;
    EXPECT_EQ(unit.renderBlock()(&flags, &time, frames, 0, &out, nullptr, &pull), plat::noErr);
    return left;
}

TEST(PlugInBundle, InstantiatesThroughItsRecordRendersAndFindsItsPresets) {
    ConsoleCapture console;
    setenv(plat::kPlugInPathVariable, (std::string("/nonexistent::") + SORVANE_APP_DIR "/PlugIns").c_str(),
           1);
    const auto made = awaitDelivery([](auto done) {
        plat::AUAudioUnit::instantiate(description("aumf", "yuSV", "KWOB", 2, 0), 0, done);
    });
    ASSERT_TRUE(made.unit.ok()) << made.unit.error().description;
    auto unit = made.unit.value();
    EXPECT_EQ(unit->componentDescription(), description("aumf", "yuSV", "KWOB", 2, 0));
    EXPECT_EQ(console.count("plat::components: cannot read a plug-in folder: \u201c/nonexistent\u201d"), 1u);

    auto presetFiles = plat::FileManager::defaultManager().contentsOfDirectory(SORVANE_FACTORY_PRESETS_DIR);
    ASSERT_TRUE(presetFiles.ok());
    std::vector<std::string> expected, listed;
    for (const auto& file : *presetFiles) expected.push_back(fs::path(file).stem().string());
    for (const auto& preset : unit->factoryPresets()) listed.push_back(preset.name);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(listed, expected);

    ASSERT_TRUE(unit->allocateRenderResources().ok());
    const auto left = render(*unit, 512);
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](float v) { return std::isfinite(v); }));
    EXPECT_GT(*std::max_element(left.begin(), left.end()), 0.01f);
    unit->deallocateRenderResources();

    bool delivered = false;
    unit->requestViewController([&](auto) { delivered = plat::isMainThread(); });
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return delivered; }, std::chrono::seconds(5)));
}

} // namespace
