// The tree of 100 parameters: shape, identity of every parameter, defaults, and the wiring of
// values to the kernel.
#include "UnitTestSupport.h"

#include "YUX_Sorvane_Extension_Parameters.h"

namespace {

struct Expected {
    plat::AUParameterAddress address;
    std::string identifier, name;
    plat::AudioUnitParameterUnit unit;
    float initial;
};

std::vector<Expected> expectedParameters() {
    std::vector<Expected> all = {
        {0, "kBypass", "Bypass", plat::kAudioUnitParameterUnit_Boolean, 0.0f},
        {1, "kProcess", "kProcess", plat::kAudioUnitParameterUnit_Boolean, 0.5f},
        {2, "kAttack", "kAttack", plat::kAudioUnitParameterUnit_Generic, 0.1f},
        {3, "kRelease", "kRelease", plat::kAudioUnitParameterUnit_Generic, 0.4f},
    };
    const char* ids[] = {"kLevel", "kResonance", "kCompansion"};
    const char* names[] = {"Level ", "Resonance ", "Compansion "};
    for (int g = 0; g < 3; ++g)
        for (int i = 0; i < 32; ++i)
            all.push_back({plat::AUParameterAddress(1000 * (g + 1) + i), ids[g] + std::to_string(i + 1),
                           names[g] + std::to_string(i + 1), plat::kAudioUnitParameterUnit_Generic, 0.5f});
    return all;
}

class ParameterTree : public ::testing::Test {
protected:
    std::shared_ptr<YUX_Sorvane_ExtensionDSPKernelAdapter> adapter =
        std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>();
    YUX_Sorvane_Extension_Parameters parameters{adapter};
    std::shared_ptr<plat::AUParameterTree> tree = parameters.parameterTree();
};

TEST_F(ParameterTree, HoldsTheHundredParametersInAddressOrderWithTheirIdentity) {
    const auto all = tree->allParameters();
    const auto expected = expectedParameters();
    ASSERT_EQ(all.size(), 100u);
    for (std::size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(expected[i].identifier);
        EXPECT_EQ(all[i]->address(), expected[i].address);
        EXPECT_EQ(all[i]->identifier(), expected[i].identifier);
        EXPECT_EQ(all[i]->displayName(), expected[i].name);
        EXPECT_EQ(all[i]->unit(), expected[i].unit);
        EXPECT_EQ(all[i]->minValue(), 0.0f);
        EXPECT_EQ(all[i]->maxValue(), 1.0f);
        EXPECT_FALSE(all[i]->unitName().has_value());
        EXPECT_FALSE(all[i]->valueStrings().has_value());
        EXPECT_TRUE(all[i]->dependentParameters().empty());
        EXPECT_EQ(all[i]->flags(),
                  plat::kAudioUnitParameterFlag_IsReadable | plat::kAudioUnitParameterFlag_IsWritable);
    }
}

TEST_F(ParameterTree, HasFourGroupsInOrder) {
    const auto& children = tree->children();
    ASSERT_EQ(children.size(), 4u);
    const std::pair<std::string, std::string> groups[] = {{"kGlobalParameters", "YUX Sorvane Global"},
                                                          {"kLevel", "Level Values"},
                                                          {"kResonance", "Resonance Values"},
                                                          {"kCompansion", "Compansion Values"}};
    const std::size_t sizes[] = {4, 32, 32, 32};
    for (std::size_t g = 0; g < 4; ++g) {
        const auto* group = dynamic_cast<const plat::AUParameterGroup*>(children[g].get());
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->identifier(), groups[g].first);
        EXPECT_EQ(group->displayName(), groups[g].second);
        EXPECT_EQ(group->children().size(), sizes[g]);
    }
}

TEST_F(ParameterTree, DefaultsAreInTheTreeAndInTheKernel) {
    for (const auto& e : expectedParameters()) {
        SCOPED_TRACE(e.identifier);
        EXPECT_EQ(tree->parameterWithAddress(e.address)->value(), e.initial);
        EXPECT_EQ(adapter->valueForParameter(e.address), e.initial);
    }
}

TEST_F(ParameterTree, AddressesOutsideTheMapFindNothing) {
    for (plat::AUParameterAddress a : {4ull, 999ull, 1032ull, 1999ull, 2032ull, 3032ull, ~0ull})
        EXPECT_EQ(tree->parameterWithAddress(a), nullptr) << a;
    EXPECT_EQ(tree->parameterWithAddress(1031)->identifier(), "kLevel32");
    EXPECT_EQ(tree->parameterWithAddress(3031)->identifier(), "kCompansion32");
}

TEST_F(ParameterTree, EverySetReachesTheKernelExactlyOnce) {
    CapturedConsole console;
    const auto dropped = plat::Console::shared().droppedCount();
    for (const auto& p : tree->allParameters()) p->setValue(p->address() == 0 ? 1.0f : 0.25f);
    EXPECT_EQ(console.count("unit received parameter"), 100u);
    EXPECT_EQ(plat::Console::shared().droppedCount(), dropped);
    for (const auto& p : tree->allParameters())
        EXPECT_EQ(adapter->valueForParameter(p->address()), p->address() == 0 ? 1.0f : 0.25f);
}

TEST_F(ParameterTree, EveryReadComesFromTheKernelOnce) {
    adapter->setParameter(2005, 0.875f);
    CapturedConsole console;
    const auto parameter = tree->parameterWithAddress(2005);
    EXPECT_EQ(parameter->value(), 0.875f);
    EXPECT_EQ(console.count("unit sent parameter : address:2005"), 1u);
}

TEST_F(ParameterTree, ObserversAddedByTokenHearEveryChangeUntilRemoved) {
    std::vector<std::pair<plat::AUParameterAddress, float>> heard, heardToo;
    const auto token =
        tree->tokenByAddingParameterObserver([&](auto a, auto v) { heard.emplace_back(a, v); });
    const auto other =
        tree->tokenByAddingParameterObserver([&](auto a, auto v) { heardToo.emplace_back(a, v); });
    EXPECT_NE(token, other);
    tree->parameterWithAddress(1)->setValue(0.75f);
    tree->parameterWithAddress(3007)->setValue(0.125f);
    tree->removeParameterObserver(token);
    tree->parameterWithAddress(2)->setValue(0.3f);
    EXPECT_EQ(heard, (std::vector<std::pair<plat::AUParameterAddress, float>>{{1, 0.75f}, {3007, 0.125f}}));
    EXPECT_EQ(heardToo.size(), 3u);
    tree->removeParameterObserver(other);
}

TEST_F(ParameterTree, TheOriginatorOfAChangeIsNotToldOfIt) {
    int originatorCalls = 0, otherCalls = 0;
    const auto originator = tree->tokenByAddingParameterObserver([&](auto, auto) { ++originatorCalls; });
    const auto other = tree->tokenByAddingParameterObserver([&](auto, auto) { ++otherCalls; });
    tree->parameterWithAddress(1)->setValue(0.6f, originator);
    EXPECT_EQ(originatorCalls, 0);
    EXPECT_EQ(otherCalls, 1);
    tree->removeParameterObserver(originator);
    tree->removeParameterObserver(other);
}

TEST_F(ParameterTree, ValueTextIsTheNumber) {
    const auto parameter = tree->parameterWithAddress(1);
    const float given = 0.25f;
    EXPECT_EQ(parameter->stringFromValue(&given), "0.25");
    parameter->setValue(0.75f);
    EXPECT_EQ(parameter->stringFromValue(), "0.75");
    EXPECT_EQ(tree->parameterWithAddress(2)->stringFromValue(), "0.1");
    EXPECT_EQ(tree->parameterWithAddress(0)->stringFromValue(), "0");
}

TEST(ParameterTreeLifetime, ParametersOutlivingTheirTreeKeepTheirOwnValue) {
    std::shared_ptr<plat::AUParameter> kept;
    {
        auto adapter = std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>();
        YUX_Sorvane_Extension_Parameters parameters(adapter);
        kept = parameters.parameterTree()->parameterWithAddress(1);
    }
    kept->setValue(0.2f); // no tree, no kernel: only the parameter itself
    EXPECT_EQ(kept->value(), 0.2f);
}

} // namespace
