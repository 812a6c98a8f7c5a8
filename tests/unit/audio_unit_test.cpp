// The audio unit as a host drives it: construction, buses, render resources, the render block,
// bypass and parameters.
#include "UnitTestSupport.h"

#include <algorithm>
#include <functional>

namespace {

using Unit = YUX_Sorvane_Extension_AudioUnit;

// A unit of the bare platform with one output bus (stereo unless said); its render writes c + 1 into
// channel c, and refuses a list without buffers as a unit that renders into the list it is given does.
class BareUnit final : public plat::AUAudioUnit {
public:
    explicit BareUnit(std::uint32_t channels = 2)
        : bus(plat::AUAudioUnitBus::make(plat::AVAudioFormat(48000, channels))) {
        EXPECT_TRUE(initWithComponentDescription(Unit::componentDescriptionOfEffect(), 0).ok());
    }
    plat::AUAudioUnitBusArray& outputBusses() override { return outputs_; }
    plat::AUInternalRenderBlock internalRenderBlock() override {
        return [](auto*, auto*, plat::AUAudioFrameCount frames, plat::NSInteger, plat::AudioBufferList* out,
                  auto*, auto*) {
            for (std::uint32_t c = 0; c < out->mNumberBuffers; ++c)
                if (!out->mBuffers[c].mData) return plat::kAudioUnitErr_InvalidPropertyValue;
            for (std::uint32_t c = 0; c < out->mNumberBuffers; ++c)
                std::fill_n(static_cast<float*>(out->mBuffers[c].mData), frames, float(c + 1));
            return plat::noErr;
        };
    }
    const std::shared_ptr<plat::AUAudioUnitBus> bus;

private:
    plat::AUAudioUnitBusArray outputs_{this, plat::AUAudioUnitBusType::output, {bus}};
};

// An output list of two entries that carry no buffers.
plat::AudioBufferList withoutBuffers() {
    plat::AudioBufferList list;
    list.mNumberBuffers = 2;
    return list;
}

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

// What the effect says it can do, as a host asks it: each member's answer and the line it logs.
TEST(AudioUnit, TheCapabilityMembersAnswerAsTheEffectIsAndLogTheirLines) {
    auto list = [](const auto& values) {
        std::string out = "[";
        for (const auto& v : values) out += (out.size() > 1 ? ", " : "") + std::to_string(v);
        return out + "]";
    };
    auto yes = [](bool b) { return std::string(b ? "true" : "false"); };
    // The kernel's state after reset: a render then matches a fresh unit's first render.
    auto afterReset = [](Unit& u) {
        auto fresh = makeUnit();
        EXPECT_TRUE(u.allocateRenderResources().ok() && fresh->allocateRenderResources().ok());
        RenderHost host(u.renderBlock(), 512), reference(fresh->renderBlock(), 512);
        EXPECT_EQ(host.cycle(512), plat::noErr);
        u.reset();
        EXPECT_TRUE(host.cycle(512) == plat::noErr && reference.cycle(512) == plat::noErr);
        return std::string(host.out[0] == reference.out[0] ? "cleared" : "kept");
    };
    const struct {
        const char* member;
        std::function<std::string(Unit&)> ask;
        std::string answer, line; // the line logged; none for an empty one
    } rows[] = {
        {"isMusicDeviceOrEffect", [&](Unit& u) { return yes(u.isMusicDeviceOrEffect()); }, "true",
         "AUExtension::isMusicDeviceOrEffect: true\n"},
        {"virtualMIDICableCount", [](Unit& u) { return std::to_string(u.virtualMIDICableCount()); }, "1",
         "AUExtension::virtualMIDICableCount: 1\n"},
        {"canPerformInput", [&](Unit& u) { return yes(u.canPerformInput()); }, "true",
         "AUExtension::canPerformInput: true\n"},
        {"canPerformOutput", [&](Unit& u) { return yes(u.canPerformOutput()); }, "true",
         "AUExtension::canPerformOutput: true\n"},
        {"canProcessInPlace", [&](Unit& u) { return yes(u.canProcessInPlace()); }, "true",
         "AUExtension::canProcessInPlace() true\n"},
        {"channelCapabilities", [&](Unit& u) { return list(u.channelCapabilities()); }, "[2, 2]",
         "AUExtension::channelCapabilities() [2, 2]\n"},
        {"channelMap, after one was set",
         [&](Unit& u) {
             u.setChannelMap(std::vector<plat::NSInteger>{1, 0});
             return u.channelMap() ? list(*u.channelMap()) : "none";
         },
         "none", ""},
        {"supportedViewConfigurations",
         [&](Unit& u) {
             return list(u.supportedViewConfigurations({{400, 300, false}, {800, 600, true}}));
         },
         "[]", "AUExtension::supportedViewConfigurations()\n"},
        {"parametersForOverview", [&](Unit& u) { return list(u.parametersForOverview(4)); }, "[]",
         "AUExtension::parametersForOverview()\n"},
        {"supportsUserPresets", [&](Unit& u) { return yes(u.supportsUserPresets()); }, "false",
         "AUExtension::supportsUserPresets: false\n"},
        {"reset", afterReset, "cleared", "AUExtension::reset()\n"},
        {"dumpParameters",
         [](Unit& u) {
             u.dumpParameters("tree", u.parameterTree().get(), 0);
             return std::string();
         },
         "", "YUX Sorvane Global\n Bypass\n kProcess\n kAttack\n kRelease\nLevel Values\n Level 1\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.member);
        auto unit = makeUnit();
        plat::RunLoop::main().drain(); // lines of the construction are not the member's
        CapturedConsole console;
        EXPECT_EQ(row.ask(*unit), row.answer);
        const std::string text = console.printed();
        if (row.line.empty())
            EXPECT_EQ(text, "");
        else
            EXPECT_NE(text.find(row.line), std::string::npos) << text;
    }
    auto dumped = makeUnit();
    CapturedConsole console; // the dump walks every group, down to the last parameter
    dumped->dumpParameters("tree", dumped->parameterTree().get(), 0);
    EXPECT_NE(console.printed().find("Compansion Values\n Compansion 1\n"), std::string::npos);
    EXPECT_EQ(console.count(" Compansion 32\n"), 1u);
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

TEST(AudioUnitBuses, AnOutputBusThatAllocatesLendsItsBufferToAListWithoutBuffersAndOneThatDoesNotRefuses) {
    auto bare = std::make_shared<BareUnit>();
    EXPECT_FALSE(bare->bus->shouldAllocateBuffer());
    bare->setMaximumFramesToRender(256);
    ASSERT_TRUE(bare->allocateRenderResources().ok());
    float given[64] = {};
    auto list = withoutBuffers();
    list.mBuffers[0] = {1, sizeof given, given}; // one buffer given, one left out
    EXPECT_EQ(RenderHost(bare->renderBlock()).cycle(64, list), plat::kAudio_ParamError);
    EXPECT_EQ(std::tuple(list.mBuffers[1].mData, given[0]), std::tuple(nullptr, 0.0f)); // nothing touched
    bare->deallocateRenderResources();

    bare->bus->setShouldAllocateBuffer(true);
    ASSERT_TRUE(bare->allocateRenderResources().ok());
    RenderHost lending(bare->renderBlock());
    list = withoutBuffers();
    list.mBuffers[0] = {1, sizeof given, given};
    ASSERT_EQ(lending.cycle(64, list), plat::noErr);
    EXPECT_EQ(list.mBuffers[0].mData, given); // a buffer the host gave stays its own
    const auto* lent = static_cast<const float*>(list.mBuffers[1].mData);
    ASSERT_NE(lent, nullptr);
    EXPECT_EQ(list.mBuffers[1].mDataByteSize, 64 * sizeof(float));
    EXPECT_TRUE(std::all_of(lent, lent + 64, [](float x) { return x == 2.0f; }) && given[63] == 1.0f);
    auto again = withoutBuffers();
    ASSERT_EQ(lending.cycle(256, again), plat::noErr);
    EXPECT_EQ(again.mBuffers[1].mData, lent); // made at allocation, not per call
    EXPECT_NE(again.mBuffers[0].mData, again.mBuffers[1].mData);

    // The effect sets the flag on its output bus when it allocates: a host that gives no buffers
    // reads in the unit's what its own buffers would have received.
    auto unit = makeUnit(), reference = makeUnit();
    ASSERT_TRUE(unit->allocateRenderResources().ok() && reference->allocateRenderResources().ok());
    EXPECT_TRUE(unit->outputBusses()[0]->shouldAllocateBuffer());
    RenderHost host(unit->renderBlock(), 512), referenceHost(reference->renderBlock(), 512);
    for (int cycle = 0; cycle < 3; ++cycle) {
        auto out = withoutBuffers();
        ASSERT_EQ(host.cycle(512, out), plat::noErr);
        ASSERT_EQ(referenceHost.cycle(512), plat::noErr);
        for (int c = 0; c < 2; ++c) {
            const auto* data = static_cast<const float*>(out.mBuffers[c].mData);
            ASSERT_TRUE(data && data != host.in[c].data());
            EXPECT_TRUE(std::equal(data, data + 512, referenceHost.out[c].begin())) << cycle;
        }
    }
}

// A list that leaves out a buffer the bus cannot lend is refused whole, wherever that buffer stands:
// neither the buffers given nor those the bus could lend are touched.
TEST(AudioUnitBuses, AListThatLeavesOutABufferTheBusCannotLendIsRefusedUntouched) {
    const struct {
        const char* fault;
        std::uint32_t channels, buffers; // of the bus; of the host's list
        bool lends;                      // the bus has buffers of its own
        std::vector<std::uint32_t> leftOut;
    } rows[] = {
        {"only the last buffer checked", 2, 2, false, {0}},
        {"only the first buffer checked", 2, 2, false, {1}},
        {"only the ends checked", 4, 4, false, {2}},
        {"the loop stops one short", 4, 4, false, {3}},
        {"the loop stops one short of a full list", 8, 8, false, {7}},
        {"buffers past its own taken as lent", 2, 3, true, {2}},
        {"the last buffer past its own taken as lent", 2, 4, true, {3}},
        {"one lent before the list is refused", 2, 3, true, {0, 2}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        auto bare = std::make_shared<BareUnit>(row.channels);
        bare->bus->setShouldAllocateBuffer(row.lends);
        ASSERT_TRUE(bare->allocateRenderResources().ok());
        std::vector<std::vector<float>> given(row.buffers, std::vector<float>(64, 0.0f));
        plat::AudioBufferList list;
        list.mNumberBuffers = row.buffers;
        for (std::uint32_t c = 0; c < row.buffers; ++c)
            if (std::count(row.leftOut.begin(), row.leftOut.end(), c) == 0)
                list.mBuffers[c] = {1, 64 * sizeof(float), given[c].data()};
        const auto before = list;
        EXPECT_EQ(RenderHost(bare->renderBlock()).cycle(64, list), plat::kAudio_ParamError);
        for (std::uint32_t c = 0; c < row.buffers; ++c) {
            EXPECT_EQ(list.mBuffers[c].mData, before.mBuffers[c].mData) << c;
            EXPECT_TRUE(std::all_of(given[c].begin(), given[c].end(), [](float x) { return x == 0; })) << c;
        }
    }
    // The effect's own bus lends two buffers, not a third.
    auto unit = makeUnit();
    ASSERT_TRUE(unit->allocateRenderResources().ok());
    RenderHost host(unit->renderBlock(), 512);
    auto list = withoutBuffers();
    list.mNumberBuffers = 3;
    EXPECT_EQ(host.cycle(512, list), plat::kAudio_ParamError);
    EXPECT_EQ(list.mBuffers[0].mData, nullptr);
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
