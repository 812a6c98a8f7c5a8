// The audio unit as a host drives it: construction, buses, render resources, the render block,
// bypass, parameters and meters.
#include "UnitTestSupport.h"

namespace {

using Unit = YUX_Sorvane_Extension_AudioUnit;

TEST(AudioUnit, ConstructionPrintsItsIdentityAndIgnoresTheOptions) {
    CapturedConsole console;
    auto made = Unit::make(Unit::componentDescriptionOfEffect(), 0x7);
    ASSERT_TRUE(made.ok());
    EXPECT_NE(console.textWithoutMainQueue().find("AUExtension::init()\nKWOB : yuSV\n"), std::string::npos);
    EXPECT_EQ(made.value()->componentDescription(), Unit::componentDescriptionOfEffect());
}

TEST(AudioUnit, ADescriptionThatNamesNoComponentIsAnError) {
    CapturedConsole console;
    auto made = Unit::make(plat::AudioComponentDescription{});
    ASSERT_FALSE(made.ok());
    EXPECT_EQ(made.error().domain, plat::kOSStatusErrorDomain);
    EXPECT_EQ(made.error().code, plat::kAudioUnitErr_InvalidPropertyValue);
}

TEST(AudioUnit, BusArraysHoldTheAdaptersBusesAndAreMadeOnce) {
    auto unit = makeUnit();
    CapturedConsole console;
    auto& inputs = unit->inputBusses();
    EXPECT_EQ(&inputs, &unit->inputBusses());
    ASSERT_EQ(inputs.count(), 1u);
    EXPECT_EQ(inputs[0], unit->kernelAdapter().inputBus());
    EXPECT_EQ(inputs.busType(), plat::AUAudioUnitBusType::input);
    EXPECT_EQ(unit->outputBusses()[0], unit->kernelAdapter().outputBus());
    EXPECT_EQ(unit->outputBusses()[1], nullptr);
    EXPECT_EQ(console.count("AUExtension::inputBusses: 1\n"), 2u);
    EXPECT_EQ(unit->getSamplerate(), 48000.0);
}

TEST(AudioUnit, NamesItsOneMIDIOutput) {
    auto unit = makeUnit();
    CapturedConsole console;
    EXPECT_EQ(unit->MIDIOutputNames(), std::vector<std::string>{"YUX Sorvane MIDI Out"});
    EXPECT_TRUE(console.contains("AUExtension::midiOutputNames: [\"YUX Sorvane MIDI Out\"]\n"));
}

TEST(AudioUnit, AHandedTreeIsDiscarded) {
    auto unit = makeUnit();
    const auto own = unit->parameterTree();
    CapturedConsole console;
    unit->setParameterTree(plat::AUParameterTree::createTree({}));
    EXPECT_EQ(unit->parameterTree(), own);
    EXPECT_TRUE(console.contains("AUExtension::parameterTree (set) !!!\n"));
}

TEST(AudioUnit, AllocationWithoutHostBlocksWarnsForEach) {
    auto unit = makeUnit();
    CapturedConsole console;
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    EXPECT_TRUE(unit->renderResourcesAllocated());
    EXPECT_TRUE(unit->kernelAdapter().renderResourcesAllocated());
    const std::string text = console.text();
    for (const char* block :
         {"musicalContextBlock", "transportStateBlock", "scheduleMIDIEventBlock", "midiOutputEventBlock"})
        EXPECT_NE(
            text.find(std::string("AUExtension: WARNING: The property '") + block + "' is NOT defined.\n"),
            std::string::npos)
            << block;
    unit->deallocateRenderResources();
    EXPECT_FALSE(unit->renderResourcesAllocated());
    EXPECT_FALSE(unit->kernelAdapter().renderResourcesAllocated());
}

TEST(AudioUnit, AllocationReportsTheBlocksAHostGave) {
    auto unit = makeUnit();
    unit->setMusicalContextBlock([](auto...) { return true; });
    unit->setMIDIOutputEventBlock([](auto...) { return plat::noErr; });
    CapturedConsole console;
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    EXPECT_TRUE(console.contains("AUExtension: The property 'musicalContextBlock' is defined.\n"));
    EXPECT_TRUE(console.contains("AUExtension: The property 'midiOutputEventBlock' is defined.\n"));
    EXPECT_TRUE(
        console.contains("AUExtension: WARNING: The property 'transportStateBlock' is NOT defined.\n"));
}

TEST(AudioUnit, UnequalChannelCountsAreRefusedAtAllocation) {
    auto unit = makeUnit();
    ASSERT_TRUE(unit->inputBusses()[0]->setFormat(plat::AVAudioFormat(48000, 1)));
    CapturedConsole console;
    auto allocated = unit->allocateRenderResources();
    ASSERT_FALSE(allocated.ok());
    EXPECT_EQ(allocated.error().code, plat::kAudioUnitErr_FormatNotSupported);
    EXPECT_FALSE(unit->renderResourcesAllocated());
    UnitHost host(unit->renderBlock());
    EXPECT_EQ(host.cycle(256), plat::kAudioUnitErr_Uninitialized);
}

TEST(AudioUnit, TheRenderEntryRefusesWhatTheUnitCannotServe) {
    auto unit = makeUnit();
    UnitHost host(unit->renderBlock(), 8192);
    EXPECT_EQ(host.cycle(256), plat::kAudioUnitErr_Uninitialized);
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    EXPECT_EQ(host.cycle(256, 1000, 0.5f, {}, 1), plat::kAudioUnitErr_InvalidElement);
    EXPECT_EQ(host.cycle(256, 1000, 0.5f, {}, -1), plat::kAudioUnitErr_InvalidElement);
    EXPECT_EQ(host.cycle(4097), plat::kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(host.cycle(4096), plat::noErr);
    unit->deallocateRenderResources();
    EXPECT_EQ(host.cycle(256), plat::kAudioUnitErr_Uninitialized);
}

TEST(AudioUnit, TheInternalBlockLogsOtherBusesThroughTheRealtimeRing) {
    auto unit = makeUnit();
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    UnitHost host(unit->internalRenderBlock());
    CapturedConsole console;
    EXPECT_EQ(host.cycle(64, 1000, 0.5f, {}, 1), plat::noErr);
    // Already printed without the main queue being served: it went through the ring.
    EXPECT_NE(console.textWithoutMainQueue().find("AUExtension:: We have a got a bus number != 0 : 1\n"),
              std::string::npos);
}

TEST(AudioUnit, KernelErrorsAreLoggedAndReturned) {
    auto unit = makeUnit();
    UnitHost host(unit->internalRenderBlock());
    CapturedConsole console;
    EXPECT_EQ(host.cycle(64), plat::kAudioUnitErr_Uninitialized);
    EXPECT_TRUE(console.contains("AUExtension::ERROR: We have a problem with the kernel! -10867\n"));
}

TEST(AudioUnit, MaximumFramesReachTheKernelAndWaitWhileAllocated) {
    auto unit = makeUnit();
    CapturedConsole console;
    unit->setMaximumFramesToRender(1024);
    EXPECT_EQ(unit->maximumFramesToRender(), 1024u);
    EXPECT_EQ(unit->kernelAdapter().maximumFramesToRender(), 1024u);
    EXPECT_TRUE(console.contains("AUExtension::maximumFramesToRender (set): 1024\n"));
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    unit->setMaximumFramesToRender(4096);
    EXPECT_EQ(unit->maximumFramesToRender(), 1024u);
    UnitHost host(unit->renderBlock());
    EXPECT_EQ(host.cycle(1025), plat::kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(host.cycle(1024), plat::noErr);
}

TEST(AudioUnit, BypassReachesTheKernel) {
    auto unit = makeUnit();
    CapturedConsole console;
    unit->setShouldBypassEffect(true);
    EXPECT_TRUE(unit->shouldBypassEffect());
    EXPECT_TRUE(unit->kernelAdapter().shouldBypassEffect());
    unit->setShouldBypassEffect(false);
    EXPECT_FALSE(unit->kernelAdapter().shouldBypassEffect());
    EXPECT_EQ(console.count("AUExtension::shouldBypassEffect (did set)\n"), 2u);
}

TEST(AudioUnit, SetParameterSetsTreeAndKernelAndIgnoresUnknownAddresses) {
    auto unit = makeUnit();
    int heard = 0;
    const auto token = unit->parameterTree()->tokenByAddingParameterObserver([&](auto, auto) { ++heard; });
    unit->setParameter(1003, 0.8f);
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(unit->getParameter(1003), 0.8f);
    unit->setParameter(1003, 0.8f); // same value: the tree is left alone
    EXPECT_EQ(heard, 1);
    for (std::int32_t address : {4, 999, 1032, -1, -1000}) {
        unit->setParameter(address, 0.9f);
        EXPECT_EQ(unit->getParameter(address), 0.0f) << address;
    }
    EXPECT_EQ(heard, 1);
    unit->parameterTree()->removeParameterObserver(token);
}

TEST(AudioUnit, SettingTheMIDIOutputBlockHandsItToTheKernel) {
    auto unit = makeUnit();
    int calls = 0;
    CapturedConsole console;
    unit->setMIDIOutputEventBlock([&](auto...) {
        ++calls;
        return plat::noErr;
    });
    EXPECT_TRUE(bool(unit->MIDIOutputEventBlock()));
    EXPECT_TRUE(console.contains("AUExtension::midiOutputEventBlock (set) \n"));
    EXPECT_TRUE(console.contains("AUExtension::midiOutputEventBlock (get) \n"));
    unit->setMIDIOutputEventBlock(nullptr);
    EXPECT_FALSE(bool(unit->MIDIOutputEventBlock()));
}

// ---- a host, end to end ----------------------------------------------------------------------

double rms(const std::vector<float>& v, std::size_t n) {
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += double(v[i]) * v[i];
    return std::sqrt(sum / double(n));
}

TEST(AudioUnitHost, InstantiateAllocateRenderBypassDeallocate) {
    auto unit = makeUnit();
    auto reference = makeUnit();
    const float* frequencies = unit->getFrequencies();
    ASSERT_TRUE(unit->getLevels() && unit->getFactors() && frequencies);
    EXPECT_NEAR(frequencies[0], 16.35f, 0.01f);
    const auto band =
        std::min_element(frequencies, frequencies + 32,
                         [](float a, float b) { return std::abs(a - 1000.0f) < std::abs(b - 1000.0f); }) -
        frequencies;

    ASSERT_TRUE(unit->allocateRenderResources().ok());
    ASSERT_TRUE(reference->allocateRenderResources().ok());
    UnitHost host(unit->renderBlock()), referenceHost(reference->renderBlock());
    for (int c = 0; c < 20; ++c) {
        ASSERT_EQ(host.cycle(512, 1000.0, 0.05f), plat::noErr);
        ASSERT_EQ(referenceHost.cycle(512, 1000.0, 0.05f), plat::noErr);
    }
    ASSERT_EQ(host.left(), referenceHost.left());
    EXPECT_GT(rms(host.left(), 512), 0.0);
    // The meters follow: a 1 kHz tone lights its own band, not the lowest one.
    const float* levels = unit->getLevels();
    EXPECT_GT(levels[band], 0.0f);
    EXPECT_GT(levels[band], levels[0]);

    // A parameter event takes effect at its own sample and shows in the tree.
    const plat::AUParameterAddress address = 1000 + plat::AUParameterAddress(band);
    ASSERT_EQ(host.cycle(512, 1000.0, 0.05f, {{100, address, 0.0f}}), plat::noErr);
    ASSERT_EQ(referenceHost.cycle(512, 1000.0, 0.05f), plat::noErr);
    EXPECT_TRUE(std::equal(host.left().begin(), host.left().begin() + 100, referenceHost.left().begin()));
    EXPECT_FALSE(
        std::equal(host.left().begin() + 100, host.left().begin() + 512, referenceHost.left().begin() + 100));
    EXPECT_EQ(unit->parameterTree()->parameterWithAddress(address)->value(), 0.0f);

    // Bypassed, the input passes through untouched.
    unit->setShouldBypassEffect(true);
    ASSERT_EQ(host.cycle(512, 1000.0), plat::noErr);
    for (std::size_t i = 0; i < 512; ++i) ASSERT_EQ(host.left()[i], host.input()[i]) << i;

    unit->deallocateRenderResources();
    EXPECT_EQ(host.cycle(512), plat::kAudioUnitErr_Uninitialized);
}

TEST(AudioUnitHost, TheRenderBlockOutlivesTheUnitSafely) {
    plat::AURenderBlock block;
    {
        auto unit = makeUnit();
        ASSERT_TRUE(unit->allocateRenderResources().ok());
        block = unit->renderBlock();
    }
    UnitHost host(block);
    // The kernel is still allocated and renders; nothing reaches into the unit that is gone.
    EXPECT_EQ(host.cycle(128), plat::noErr);
}

} // namespace
