// The tree of 100 parameters: identity of every parameter, defaults, and the wiring of values to
// the kernel.
#include "UnitTestSupport.h"

#include "YUX_Sorvane_Extension_Parameters.h"

namespace {

class ParameterTree : public ::testing::Test {
protected:
    std::shared_ptr<YUX_Sorvane_ExtensionDSPKernelAdapter> adapter =
        std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>();
    YUX_Sorvane_Extension_Parameters parameters{adapter};
    std::shared_ptr<plat::AUParameterTree> tree = parameters.parameterTree();
};

TEST_F(ParameterTree, HoldsTheHundredParametersOfTheAddressMap) {
    struct Expected {
        plat::AUParameterAddress address;
        std::string identifier, name;
        plat::AudioUnitParameterUnit unit;
        float initial;
    };
    std::vector<Expected> expected = {
        {0, "kBypass", "Bypass", plat::kAudioUnitParameterUnit_Boolean, 0.0f},
        {1, "kProcess", "kProcess", plat::kAudioUnitParameterUnit_Boolean, 0.5f},
        {2, "kAttack", "kAttack", plat::kAudioUnitParameterUnit_Generic, 0.1f},
        {3, "kRelease", "kRelease", plat::kAudioUnitParameterUnit_Generic, 0.4f}};
    const std::string kinds[] = {"Level", "Resonance", "Compansion"};
    for (int g = 0; g < 3; ++g)
        for (int i = 0; i < 32; ++i)
            expected.push_back(
                {plat::AUParameterAddress(1000 * (g + 1) + i), "k" + kinds[g] + std::to_string(i + 1),
                 kinds[g] + " " + std::to_string(i + 1), plat::kAudioUnitParameterUnit_Generic, 0.5f});

    const auto all = tree->allParameters();
    ASSERT_EQ(all.size(), 100u);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto& e = expected[i];
        SCOPED_TRACE(e.identifier);
        EXPECT_EQ(all[i]->address(), e.address);
        EXPECT_EQ(all[i]->identifier(), e.identifier);
        EXPECT_EQ(all[i]->displayName(), e.name);
        EXPECT_EQ(all[i]->unit(), e.unit);
        EXPECT_EQ(all[i]->minValue(), 0.0f);
        EXPECT_EQ(all[i]->maxValue(), 1.0f);
        EXPECT_FALSE(all[i]->unitName() || all[i]->valueStrings());
        EXPECT_EQ(all[i]->flags(),
                  plat::kAudioUnitParameterFlag_IsReadable | plat::kAudioUnitParameterFlag_IsWritable);
        EXPECT_EQ(all[i]->value(), e.initial);
        EXPECT_EQ(adapter->valueForParameter(e.address), e.initial);
        EXPECT_EQ(tree->parameterWithAddress(e.address), all[i]);
    }
    for (plat::AUParameterAddress a : {4ull, 999ull, 1032ull, 1999ull, 2032ull, 3032ull})
        EXPECT_EQ(tree->parameterWithAddress(a), nullptr) << a;
    // Four groups, in order, holding those parameters.
    const char* groups[][2] = {{"kGlobalParameters", "YUX Sorvane Global"},
                               {"kLevel", "Level Values"},
                               {"kResonance", "Resonance Values"},
                               {"kCompansion", "Compansion Values"}};
    ASSERT_EQ(tree->children().size(), 4u);
    for (std::size_t g = 0; g < 4; ++g) {
        const auto* group = dynamic_cast<const plat::AUParameterGroup*>(tree->children()[g].get());
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->identifier(), groups[g][0]);
        EXPECT_EQ(group->displayName(), groups[g][1]);
        EXPECT_EQ(group->children().size(), g == 0 ? 4u : 32u);
    }
}

TEST_F(ParameterTree, EverySetReachesTheKernelOnceAndEveryReadComesFromIt) {
    {
        CapturedConsole console;
        for (const auto& p : tree->allParameters()) p->setValue(p->address() == 0 ? 1.0f : 0.25f);
        EXPECT_EQ(console.count("unit received parameter"), 100u);
    }
    for (const auto& p : tree->allParameters())
        EXPECT_EQ(adapter->valueForParameter(p->address()), p->address() == 0 ? 1.0f : 0.25f);

    adapter->setParameter(2005, 0.875f);
    CapturedConsole console;
    EXPECT_EQ(tree->parameterWithAddress(2005)->value(), 0.875f);
    EXPECT_EQ(console.count("unit sent parameter : address:2005"), 1u);
}

TEST_F(ParameterTree, ObserversAddedByTokenHearEveryChangeUntilRemoved) {
    Values heard, heardToo;
    const auto token =
        tree->tokenByAddingParameterObserver([&](auto a, auto v) { heard.emplace_back(a, v); });
    const auto other =
        tree->tokenByAddingParameterObserver([&](auto a, auto v) { heardToo.emplace_back(a, v); });
    tree->parameterWithAddress(1)->setValue(0.75f);
    tree->parameterWithAddress(3007)->setValue(0.125f, other); // the originator is not told
    tree->removeParameterObserver(token);
    tree->parameterWithAddress(2)->setValue(0.3f);
    EXPECT_EQ(heard, (Values{{1, 0.75f}, {3007, 0.125f}}));
    EXPECT_EQ(heardToo, (Values{{1, 0.75f}, {2, 0.3f}}));
    tree->removeParameterObserver(other);
}

TEST_F(ParameterTree, ValueTextIsTheNumber) {
    const auto parameter = tree->parameterWithAddress(1);
    const float given = 0.25f;
    EXPECT_EQ(parameter->stringFromValue(&given), "0.25");
    parameter->setValue(0.75f);
    EXPECT_EQ(parameter->stringFromValue(), "0.75");
    EXPECT_EQ(tree->parameterWithAddress(0)->stringFromValue(), "0");
}

} // namespace
