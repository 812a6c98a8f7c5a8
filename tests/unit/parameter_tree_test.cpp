// The tree of 100 parameters: the address map, and the wiring of values to the kernel.
#include "UnitTestSupport.h"

#include "YUX_Sorvane_Extension_Parameters.h"

#include <sstream>

namespace {

class ParameterTree : public ::testing::Test {
protected:
    std::shared_ptr<YUX_Sorvane_ExtensionDSPKernelAdapter> adapter =
        std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>();
    YUX_Sorvane_Extension_Parameters parameters{adapter};
    std::shared_ptr<plat::AUParameterTree> tree = parameters.parameterTree();
};

TEST_F(ParameterTree, HoldsTheHundredParametersOfTheAddressMapInFourGroups) {
    // address identifier "name" unit: the initial value as text, and the kernel's
    auto text = [](float v) { return (std::ostringstream() << v).str(); };
    auto row = [&](auto address, const std::string& id, const std::string& name, bool boolean, float v) {
        return std::to_string(address) + " " + id + " \"" + name + "\" " + (boolean ? "boolean" : "generic") +
               ": " + text(v) + " " + text(v);
    };
    std::vector<std::string> expected = {
        row(0, "kBypass", "Bypass", true, 0), row(1, "kProcess", "kProcess", true, .5f),
        row(2, "kAttack", "kAttack", false, .1f), row(3, "kRelease", "kRelease", false, .4f)};
    const std::string kinds[] = {"Level", "Resonance", "Compansion"};
    for (int g = 0; g < 3; ++g)
        for (int i = 0; i < 32; ++i)
            expected.push_back(row(1000 * (g + 1) + i, "k" + kinds[g] + std::to_string(i + 1),
                                   kinds[g] + " " + std::to_string(i + 1), false, .5f));
    std::vector<std::string> seen;
    for (const auto& p : tree->allParameters()) {
        EXPECT_EQ(p->minValue() + p->maxValue(), 1.0f);
        EXPECT_EQ(tree->parameterWithAddress(p->address()), p);
        seen.push_back(std::to_string(p->address()) + " " + p->identifier() + " \"" + p->displayName() +
                       "\" " + (p->unit() == plat::kAudioUnitParameterUnit_Boolean ? "boolean" : "generic") +
                       ": " + p->stringFromValue() + " " + text(adapter->valueForParameter(p->address())));
    }
    EXPECT_EQ(seen, expected);
    for (plat::AUParameterAddress a : {4ull, 999ull, 1032ull, 1999ull, 2032ull, 3032ull})
        EXPECT_EQ(tree->parameterWithAddress(a), nullptr) << a;
    std::vector<std::string> groups;
    for (const auto& child : tree->children())
        if (const auto* group = dynamic_cast<const plat::AUParameterGroup*>(child.get()))
            groups.push_back(group->identifier() + " \"" + group->displayName() + "\" " +
                             std::to_string(group->children().size()));
    EXPECT_EQ(groups, (std::vector<std::string>{
                          "kGlobalParameters \"YUX Sorvane Global\" 4", "kLevel \"Level Values\" 32",
                          "kResonance \"Resonance Values\" 32", "kCompansion \"Compansion Values\" 32"}));
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

TEST(ParameterTreeGone, AParameterAHostKeptStillTakesAndGivesItsValue) {
    std::shared_ptr<plat::AUParameter> kept;
    {
        YUX_Sorvane_Extension_Parameters parameters{
            std::make_shared<YUX_Sorvane_ExtensionDSPKernelAdapter>()};
        parameters.parameterTree()->tokenByAddingParameterObserver([](auto, auto) {});
        kept = parameters.parameterTree()->parameterWithAddress(2005);
    }
    kept->setValue(0.75f);
    EXPECT_EQ(kept->value(), 0.75f);
    EXPECT_EQ(kept->stringFromValue(), "0.75");
}

TEST_F(ParameterTree, TheUnitBackReferenceStartsEmptyAndReadsEmptyOnceItsUnitIsGone) {
    EXPECT_EQ(parameters.unit(), nullptr);
    auto unit = makeUnit();
    parameters.setUnit(unit);
    EXPECT_EQ(parameters.unit(), unit);
    std::weak_ptr<YUX_Sorvane_Extension_AudioUnit> watch = unit;
    unit.reset();
    EXPECT_TRUE(watch.expired());          // the reference does not keep the unit alive
    EXPECT_EQ(parameters.unit(), nullptr); // and does not dangle
}

} // namespace
