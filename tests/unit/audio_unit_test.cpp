// The audio unit as a host drives it: construction, buses, render resources, the render block,
// bypass, parameters and meters.
#include "UnitTestSupport.h"

#include <algorithm>
#include <functional>

namespace {

using Unit = YUX_Sorvane_Extension_AudioUnit;

TEST(AudioUnit, ConstructionPrintsItsIdentityAndIgnoresTheOptions) {
    CapturedConsole console;
    auto made = Unit::make(Unit::componentDescriptionOfEffect(), 0x7);
    ASSERT_TRUE(made.ok());
    EXPECT_NE(console.text().find("AUExtension::init()\nKWOB : yuSV\n"), std::string::npos);
    EXPECT_EQ(made.value()->componentDescription(), Unit::componentDescriptionOfEffect());

    auto refused = Unit::make(plat::AudioComponentDescription{});
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, plat::kAudioUnitErr_InvalidPropertyValue);
}

TEST(AudioUnit, BusArraysHoldTheAdaptersBusesAndAreMadeOnce) {
    auto unit = makeUnit();
    CapturedConsole console;
    auto& inputs = unit->inputBusses();
    EXPECT_EQ(&inputs, &unit->inputBusses());
    ASSERT_EQ(inputs.count(), 1u);
    EXPECT_EQ(inputs[0], unit->kernelAdapter().inputBus());
    EXPECT_EQ(unit->outputBusses()[0], unit->kernelAdapter().outputBus());
    EXPECT_TRUE(console.contains("AUExtension::inputBusses: 1\n"));
    EXPECT_EQ(unit->getSamplerate(), 48000.0);
}

TEST(AudioUnit, NamesItsMIDIOutputAndKeepsItsOwnTree) {
    auto unit = makeUnit();
    const auto own = unit->parameterTree();
    CapturedConsole console;
    EXPECT_EQ(unit->MIDIOutputNames(), std::vector<std::string>{"YUX Sorvane MIDI Out"});
    unit->setParameterTree(plat::AUParameterTree::createTree({}));
    EXPECT_EQ(unit->parameterTree(), own);
    EXPECT_TRUE(console.contains("AUExtension::midiOutputNames: [\"YUX Sorvane MIDI Out\"]\n"
                                 "AUExtension::parameterTree (set) !!!\n"));
}

TEST(AudioUnit, AllocationReportsEachHostBlock) {
    auto unit = makeUnit();
    unit->setMusicalContextBlock([](auto...) { return true; });
    unit->setMIDIOutputEventBlock([](auto...) { return plat::noErr; });
    CapturedConsole console;
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    EXPECT_TRUE(unit->kernelAdapter().renderResourcesAllocated());
    const std::string text = console.printed();
    for (const char* line : {"AUExtension: The property 'musicalContextBlock' is defined.\n",
                             "AUExtension: WARNING: The property 'transportStateBlock' is NOT defined.\n",
                             "AUExtension: WARNING: The property 'scheduleMIDIEventBlock' is NOT defined.\n",
                             "AUExtension: The property 'midiOutputEventBlock' is defined.\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    unit->deallocateRenderResources();
    EXPECT_FALSE(unit->kernelAdapter().renderResourcesAllocated());
}

TEST(AudioUnit, TheRenderEntryRefusesWhatTheUnitCannotServe) {
    auto unit = makeUnit();
    UnitHost host(unit->renderBlock(), 8192);
    EXPECT_EQ(host.cycle(256), plat::kAudioUnitErr_Uninitialized);

    // Unequal channel counts are refused at allocation, so rendering stays refused.
    ASSERT_TRUE(unit->inputBusses()[0]->setFormat(plat::AVAudioFormat(48000, 1)));
    auto allocated = unit->allocateRenderResources();
    ASSERT_FALSE(allocated.ok());
    EXPECT_EQ(allocated.error().code, plat::kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(host.cycle(256), plat::kAudioUnitErr_Uninitialized);

    ASSERT_TRUE(unit->inputBusses()[0]->setFormat(plat::AVAudioFormat(48000, 2)));
    unit->setMaximumFramesToRender(1024);
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    unit->setMaximumFramesToRender(4096); // waits for the next allocation
    EXPECT_EQ(unit->kernelAdapter().maximumFramesToRender(), 1024u);
    EXPECT_EQ(host.cycle(256, 0.5f, {}, 1), plat::kAudioUnitErr_InvalidElement);
    EXPECT_EQ(host.cycle(256, 0.5f, {}, -1), plat::kAudioUnitErr_InvalidElement);
    EXPECT_EQ(host.cycle(1025), plat::kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(host.cycle(1024), plat::noErr);
    unit->deallocateRenderResources();
    EXPECT_EQ(host.cycle(256), plat::kAudioUnitErr_Uninitialized);
}

TEST(AudioUnit, SetParameterSetsTreeAndKernelAndIgnoresUnknownAddresses) {
    auto unit = makeUnit();
    int heard = 0;
    const auto token = unit->parameterTree()->tokenByAddingParameterObserver([&](auto, auto) { ++heard; });
    unit->setParameter(1003, 0.8f);
    unit->setParameter(1003, 0.8f); // the same value: the tree is left alone
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(unit->getParameter(1003), 0.8f);
    for (std::int32_t address : {4, 999, 1032, -1, -1000}) {
        unit->setParameter(address, 0.9f);
        EXPECT_EQ(unit->getParameter(address), 0.0f) << address;
    }
    EXPECT_EQ(heard, 1);
    unit->parameterTree()->removeParameterObserver(token);
}

// ---- a host, end to end ----------------------------------------------------------------------

TEST(AudioUnitHost, InstantiateAllocateRenderBypassDeallocate) {
    auto unit = makeUnit();
    auto reference = makeUnit();
    const float* frequencies = unit->getFrequencies();
    ASSERT_TRUE(unit->getLevels() && unit->getFactors() && frequencies);
    EXPECT_NEAR(frequencies[0], 16.35f, 0.01f);
    const auto band =
        std::min_element(frequencies, frequencies + 32,
                         [](float a, float b) { return std::abs(a - 1000) < std::abs(b - 1000); }) -
        frequencies;

    ASSERT_TRUE(unit->allocateRenderResources().ok());
    ASSERT_TRUE(reference->allocateRenderResources().ok());
    UnitHost host(unit->renderBlock()), referenceHost(reference->renderBlock());
    for (int c = 0; c < 20; ++c) {
        ASSERT_EQ(host.cycle(512, 0.05f), plat::noErr);
        ASSERT_EQ(referenceHost.cycle(512, 0.05f), plat::noErr);
    }
    ASSERT_EQ(host.left(), referenceHost.left());
    EXPECT_GT(*std::max_element(host.left().begin(), host.left().begin() + 512), 0.0f);
    // The meters follow: a 1 kHz tone lights its own band, not the lowest one.
    EXPECT_GT(unit->getLevels()[band], unit->getLevels()[0]);

    // A parameter event takes effect at its own sample and shows in the tree.
    const auto address = 1000 + plat::AUParameterAddress(band);
    ASSERT_EQ(host.cycle(512, 0.05f, {{100, address, 0.0f}}), plat::noErr);
    ASSERT_EQ(referenceHost.cycle(512, 0.05f), plat::noErr);
    EXPECT_TRUE(std::equal(host.left().begin(), host.left().begin() + 100, referenceHost.left().begin()));
    EXPECT_NE(host.left()[300], referenceHost.left()[300]);
    EXPECT_EQ(unit->parameterTree()->parameterWithAddress(address)->value(), 0.0f);

    // Bypassed, the input passes through untouched.
    unit->setShouldBypassEffect(true);
    EXPECT_TRUE(unit->kernelAdapter().shouldBypassEffect());
    ASSERT_EQ(host.cycle(512), plat::noErr);
    EXPECT_TRUE(std::equal(host.left().begin(), host.left().begin() + 512, host.input().begin()));

    unit->deallocateRenderResources();
    EXPECT_EQ(host.cycle(512), plat::kAudioUnitErr_Uninitialized);
}

TEST(AudioUnitHost, EveryDoorKeepsValuesFiniteAndInRange) {
    const float nan = std::nanf(""), inf = INFINITY;
    // Each value and what the parameter then holds: NaN leaves the last value standing.
    const std::pair<float, float> sequence[] = {{0.3f, 0.3f},  {nan, 0.3f},  {5.0f, 1.0f}, {-0.25f, 0.0f},
                                                {1e30f, 1.0f}, {-inf, 0.0f}, {1.5f, 1.0f}};
    using Door = std::function<void(Unit&, UnitHost&, plat::AUParameterAddress, float)>;
    const std::pair<const char*, Door> doors[] = {
        {"tree", [](Unit& u, UnitHost&, auto a,
                    float v) { u.parameterTree()->parameterWithAddress(a)->setValue(v); }},
        {"unit", [](Unit& u, UnitHost&, auto a, float v) { u.setParameter(std::int32_t(a), v); }},
        {"kernel", [](Unit& u, UnitHost&, auto a, float v) { u.kernelAdapter().setParameter(a, v); }},
        {"render event",
         [](Unit&, UnitHost& h, auto a, float v) {
             h.cycle(64, 0.5f, {{0, a, v}});
         }},
    };
    for (const auto& [door, set] : doors) {
        auto unit = makeUnit();
        ASSERT_TRUE(unit->allocateRenderResources().ok());
        UnitHost host(unit->renderBlock());
        std::vector<float> heard; // what the panel would hear
        unit->parameterTree()->tokenByAddingParameterObserver([&](auto, float v) { heard.push_back(v); });
        for (plat::AUParameterAddress address : {1, 1005, 2005, 3005}) {
            for (const auto& [value, held] : sequence) {
                set(*unit, host, address, value);
                EXPECT_EQ(unit->parameterTree()->parameterWithAddress(address)->value(), held)
                    << door << " " << address << " " << value;
                for (int c = 0; c < 8; ++c) {
                    ASSERT_EQ(host.cycle(512), plat::noErr);
                    ASSERT_TRUE(std::all_of(host.left().begin(), host.left().begin() + 512,
                                            [](float x) { return std::isfinite(x); }))
                        << door << " " << address << " " << value;
                }
            }
        }
        EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [](float v) { return v >= 0 && v <= 1; }))
            << door;
        auto copy = makeUnit();
        ASSERT_TRUE(copy->setFullState(unit->fullState()).ok());
        EXPECT_EQ(allValues(*copy), allValues(*unit)) << door;
    }
}

TEST(AudioUnitHost, TheRenderBlockOutlivesTheUnitSafely) {
    plat::AURenderBlock block;
    {
        auto unit = makeUnit();
        ASSERT_TRUE(unit->allocateRenderResources().ok());
        block = unit->renderBlock();
    }
    UnitHost host(block);
    EXPECT_EQ(host.cycle(128), plat::noErr);
}

} // namespace
