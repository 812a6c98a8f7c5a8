// The component finder against the real plug-in, found through the shared registry.
#include "AUExtensionManager.h"
#include "AppTestSupport.h"

namespace {

struct FinderRecorder : AUExtensionManagerDelegate {
    std::atomic<int> found{0}, initialized{0};
    void onFoundComponent(std::shared_ptr<plat::AVAudioUnit> unit) override { found += unit ? 1 : 100; }
    void onEngineInitialized() override { ++initialized; }
};

} // namespace

TEST(ComponentFinder, ListsEveryComponentWithItsFlagsInTenCharacters) {
    auto recorder = std::make_shared<FinderRecorder>();
    AUEnginePlayer::Configuration silent;
    silent.output = plat::AudioOutputConfiguration::parse("null").value();
    auto finder = AUExtensionManager::make(recorder, std::make_shared<AUEnginePlayer>(silent));
    ASSERT_TRUE(spin([&] { return recorder->initialized == 1; }));
    EXPECT_EQ(recorder->found, 1);
    EXPECT_TRUE(finder->presets().empty());
    EXPECT_FALSE(finder->currentPreset());

    ConsoleCapture console;
    finder->listAvailableAudioUnits();
    const std::string zero(4, '\0');
    EXPECT_EQ(console.count("AUExtension (\ntype: " + zero + "\nsubtype: " + zero +
                            "\nmanufacturer: " + zero + "\nflags: 0x00000000\n)\n"),
              1u);
    EXPECT_EQ(
        console.count("YUX Sorvane Extension\nMusic Effect\nMusic Effect\nKWOB\nAudioComponentDescription("
                      "componentType: 1635085670, componentSubType: 2037732182, componentManufacturer: "
                      "1264013122, componentFlags: 2, componentFlagsMask: 0)\n"),
        1u);
}
