// The audio unit as a host drives it: construction, buses, render resources, the render block,
// bypass and parameters.
#include "UnitTestSupport.h"

#include <algorithm>
#include <functional>

namespace {

using Unit = YUX_Sorvane_Extension_AudioUnit;

TEST(AudioUnit, TheHostFacingMembersDoTheirPartAndPrintTheirLines) {
    CapturedConsole console;
    auto made = Unit::make(Unit::componentDescriptionOfEffect(), 0x7); // options are ignored
    ASSERT_TRUE(made.ok());
    auto unit = made.value();
    EXPECT_EQ(unit->componentDescription(), Unit::componentDescriptionOfEffect());
    auto refused = Unit::make(plat::AudioComponentDescription{});
    EXPECT_TRUE(!refused.ok() && refused.error().code == plat::kAudioUnitErr_InvalidPropertyValue);

    auto& inputs = unit->inputBusses();
    EXPECT_EQ(&inputs, &unit->inputBusses()); // made once
    EXPECT_EQ(inputs[0], unit->kernelAdapter().inputBus());
    EXPECT_EQ(unit->outputBusses()[0], unit->kernelAdapter().outputBus());
    EXPECT_EQ(unit->MIDIOutputNames(), std::vector<std::string>{"YUX Sorvane MIDI Out"});
    const auto own = unit->parameterTree();
    unit->setParameterTree(plat::AUParameterTree::createTree({}));
    EXPECT_EQ(unit->parameterTree(), own);

    unit->setMusicalContextBlock([](auto...) { return true; }),
        unit->setMIDIOutputEventBlock([](auto...) { return plat::noErr; });
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    EXPECT_TRUE(unit->kernelAdapter().renderResourcesAllocated());
    unit->deallocateRenderResources();
    EXPECT_FALSE(unit->kernelAdapter().renderResourcesAllocated());
    const std::string text = console.printed();
    for (const char* line : {"AUExtension::init()\nKWOB : yuSV\n", "AUExtension::inputBusses: 1\n",
                             "AUExtension::midiOutputNames: [\"YUX Sorvane MIDI Out\"]\n",
                             "AUExtension::parameterTree (set) !!!\n",
                             "AUExtension: The property 'musicalContextBlock' is defined.\n",
                             "AUExtension: WARNING: The property 'transportStateBlock' is NOT defined.\n",
                             "AUExtension: WARNING: The property 'scheduleMIDIEventBlock' is NOT defined.\n",
                             "AUExtension: The property 'midiOutputEventBlock' is defined.\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    // Parameters by address: the same value leaves the tree alone, unknown addresses are ignored.
    int heard = 0;
    unit->parameterTree()->tokenByAddingParameterObserver([&](auto, auto) { ++heard; });
    unit->setParameter(1003, 0.8f), unit->setParameter(1003, 0.8f);
    EXPECT_EQ(unit->getParameter(1003), 0.8f);
    for (std::int32_t address : {4, 999, 1032, -1, -1000}) {
        unit->setParameter(address, 0.9f);
        EXPECT_EQ(unit->getParameter(address), 0.0f) << address;
    }
    EXPECT_EQ(heard, 1);
}

TEST(AudioUnit, TheRenderEntryRefusesWhatTheUnitCannotServeAndItsBlockOutlivesTheUnit) {
    plat::AURenderBlock block;
    {
        auto unit = makeUnit();
        RenderHost host(unit->renderBlock(), 8192);
        EXPECT_EQ(host.cycle(256), plat::kAudioUnitErr_Uninitialized);
        // Unequal channel counts are refused at allocation, so rendering stays refused.
        ASSERT_TRUE(unit->inputBusses()[0]->setFormat(plat::AVAudioFormat(48000, 1)));
        auto allocated = unit->allocateRenderResources();
        EXPECT_TRUE(!allocated.ok() && allocated.error().code == plat::kAudioUnitErr_FormatNotSupported);
        EXPECT_EQ(host.cycle(256), plat::kAudioUnitErr_Uninitialized);

        ASSERT_TRUE(unit->inputBusses()[0]->setFormat(plat::AVAudioFormat(48000, 2)));
        unit->setMaximumFramesToRender(1024);
        ASSERT_TRUE(unit->allocateRenderResources().ok());
        unit->setMaximumFramesToRender(4096); // waits for the next allocation
        EXPECT_EQ(unit->kernelAdapter().maximumFramesToRender(), 1024u);
        const std::tuple<std::uint32_t, plat::NSInteger, plat::OSStatus> cycles[] = {
            {256, 1, plat::kAudioUnitErr_InvalidElement},
            {256, -1, plat::kAudioUnitErr_InvalidElement},
            {1025, 0, plat::kAudioUnitErr_TooManyFramesToProcess},
            {1024, 0, plat::noErr}};
        for (const auto& [frames, bus, status] : cycles)
            EXPECT_EQ(host.cycle(frames, {}, bus), status) << frames;
        unit->deallocateRenderResources();
        EXPECT_EQ(host.cycle(256), plat::kAudioUnitErr_Uninitialized);
        ASSERT_TRUE(unit->allocateRenderResources().ok());
        block = unit->renderBlock();
    }
    EXPECT_EQ(RenderHost(block).cycle(128), plat::noErr);
}

TEST(AudioUnitHost, RenderEventsShowInTheTreeAndBypassPassesTheInput) {
    auto unit = makeUnit(), reference = makeUnit();
    ASSERT_TRUE(unit->allocateRenderResources().ok() && reference->allocateRenderResources().ok());
    RenderHost host(unit->renderBlock(), 512, 0.05f), referenceHost(reference->renderBlock(), 512, 0.05f);
    for (int c = 0; c < 4; ++c) {
        ASSERT_EQ(host.cycle(512, c == 3 ? std::vector<ParameterChange>{{100, 1018, 0.0f}}
                                         : std::vector<ParameterChange>{}),
                  plat::noErr);
        ASSERT_EQ(referenceHost.cycle(512), plat::noErr);
    }
    EXPECT_TRUE(std::equal(host.out[0].begin(), host.out[0].begin() + 100, referenceHost.out[0].begin()));
    EXPECT_NE(host.out[0][300], referenceHost.out[0][300]);
    EXPECT_EQ(unit->parameterTree()->parameterWithAddress(1018)->value(), 0.0f);
    unit->setShouldBypassEffect(true);
    EXPECT_TRUE(unit->kernelAdapter().shouldBypassEffect());
    ASSERT_EQ(host.cycle(512), plat::noErr);
    EXPECT_EQ(host.out[0], host.in[0]);
}

TEST(AudioUnitHost, EveryDoorKeepsValuesFiniteAndInRange) {
    const float nan = std::nanf(""), inf = INFINITY;
    // Each value and what the parameter then holds: NaN leaves the last value standing.
    const std::pair<float, float> sequence[] = {{0.3f, 0.3f},  {nan, 0.3f},  {5.0f, 1.0f}, {-0.25f, 0.0f},
                                                {1e30f, 1.0f}, {-inf, 0.0f}, {1.5f, 1.0f}};
    using Door = std::function<void(Unit&, RenderHost&, plat::AUParameterAddress, float)>;
    const std::pair<const char*, Door> doors[] = {
        {"tree",
         [](Unit& u, auto&, auto a, float v) { u.parameterTree()->parameterWithAddress(a)->setValue(v); }},
        {"unit", [](Unit& u, auto&, auto a, float v) { u.setParameter(std::int32_t(a), v); }},
        {"kernel", [](Unit& u, auto&, auto a, float v) { u.kernelAdapter().setParameter(a, v); }},
        {"render event",
         [](Unit&, RenderHost& h, auto a, float v) {
             h.cycle(64, {{0, a, v}});
         }},
    };
    for (const auto& [door, set] : doors) {
        auto unit = makeUnit();
        ASSERT_TRUE(unit->allocateRenderResources().ok());
        RenderHost host(unit->renderBlock(), 512);
        std::vector<float> heard; // what the panel would hear
        unit->parameterTree()->tokenByAddingParameterObserver([&](auto, float v) { heard.push_back(v); });
        for (plat::AUParameterAddress address : {1, 1005, 2005, 3005})
            for (const auto& [value, held] : sequence) {
                set(*unit, host, address, value);
                EXPECT_EQ(unit->parameterTree()->parameterWithAddress(address)->value(), held)
                    << door << " " << address << " " << value;
                for (int c = 0; c < 8; ++c) {
                    ASSERT_EQ(host.cycle(512), plat::noErr);
                    ASSERT_TRUE(std::all_of(host.out[0].begin(), host.out[0].end(),
                                            [](float x) { return std::isfinite(x); }))
                        << door << " " << address << " " << value;
                }
            }
        EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [](float v) { return v >= 0 && v <= 1; }))
            << door;
        auto copy = makeUnit();
        ASSERT_TRUE(copy->setFullState(unit->fullState()).ok());
        EXPECT_EQ(allValues(*copy), allValues(*unit)) << door;
    }
}

} // namespace
