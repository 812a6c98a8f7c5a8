// The tree of 100 parameters: the address map, and the wiring of values to the kernel and observers.
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

TEST_F(ParameterTree, HoldsTheHundredParametersOfTheAddressMapInFourGroups) {
    using Row = std::tuple<plat::AUParameterAddress, std::string, std::string, plat::AudioUnitParameterUnit,
                           float, float, float, std::string>; // address ... initial value, kernel's, text
    const auto generic = plat::kAudioUnitParameterUnit_Generic,
               boolean = plat::kAudioUnitParameterUnit_Boolean;
    std::vector<Row> expected = {{0, "kBypass", "Bypass", boolean, 1, 0, 0, "0"},
                                 {1, "kProcess", "kProcess", boolean, 1, 0.5f, 0.5f, "0.5"},
                                 {2, "kAttack", "kAttack", generic, 1, 0.1f, 0.1f, "0.1"},
                                 {3, "kRelease", "kRelease", generic, 1, 0.4f, 0.4f, "0.4"}};
    const std::string kinds[] = {"Level", "Resonance", "Compansion"};
    for (int g = 0; g < 3; ++g)
        for (int i = 0; i < 32; ++i)
            expected.emplace_back(1000 * (g + 1) + i, "k" + kinds[g] + std::to_string(i + 1),
                                  kinds[g] + " " + std::to_string(i + 1), generic, 1, 0.5f, 0.5f, "0.5");
    std::vector<Row> seen;
    for (const auto& p : tree->allParameters()) {
        EXPECT_EQ(p->minValue(), 0.0f);
        EXPECT_EQ(p->flags(),
                  plat::kAudioUnitParameterFlag_IsReadable | plat::kAudioUnitParameterFlag_IsWritable);
        EXPECT_EQ(tree->parameterWithAddress(p->address()), p);
        seen.emplace_back(p->address(), p->identifier(), p->displayName(), p->unit(), p->maxValue(),
                          p->value(), adapter->valueForParameter(p->address()), p->stringFromValue());
    }
    EXPECT_EQ(seen, expected);
    for (plat::AUParameterAddress a : {4ull, 999ull, 1032ull, 1999ull, 2032ull, 3032ull})
        EXPECT_EQ(tree->parameterWithAddress(a), nullptr) << a;

    std::vector<std::tuple<std::string, std::string, std::size_t>> groups;
    for (const auto& child : tree->children()) {
        const auto* group = dynamic_cast<const plat::AUParameterGroup*>(child.get());
        ASSERT_NE(group, nullptr);
        groups.emplace_back(group->identifier(), group->displayName(), group->children().size());
    }
    EXPECT_EQ(groups, (std::vector<std::tuple<std::string, std::string, std::size_t>>{
                          {"kGlobalParameters", "YUX Sorvane Global", 4},
                          {"kLevel", "Level Values", 32},
                          {"kResonance", "Resonance Values", 32},
                          {"kCompansion", "Compansion Values", 32}}));
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

} // namespace
