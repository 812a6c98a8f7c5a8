// The preset document as other programs see it: Python's plistlib reads what the unit writes,
// and the unit reads what plistlib writes, XML and binary alike.
#include "UnitTestSupport.h"

#include "YUXPreset.h"

namespace {

namespace plist = plat::plist;

std::string script() {
    const char* source = std::getenv("SORVANE_SOURCE_DIR");
    return std::string(source ? source : ".") + "/tests/unit/preset_document.py";
}

int runPython(const std::string& arguments) {
    const std::string command = "python3 '" + script() + "' " + arguments;
    return std::system(command.c_str());
}

// The value preset_document.py writes for each address.
float expectedValue(plat::AUParameterAddress address) {
    return address == 0 ? 0.0f : float(double((address * 7) % 100) / 128.0);
}

class PythonInterop : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("python3 -c 'import plistlib' > /dev/null 2>&1") != 0)
            GTEST_SKIP() << "python3 with plistlib is not installed";
    }
    ScratchFolder scratch;
};

TEST_F(PythonInterop, PlistlibReadsTheDocumentTheUnitWrites) {
    auto unit = makeUnit();
    setDistinctValues(*unit);
    YUXPreset preset;
    preset.makeFrom(unit->parameterTree().get());
    const auto file = scratch.path() / "state.plist";
    ASSERT_TRUE(preset.save(file).ok());
    EXPECT_EQ(runPython("check '" + file.string() + "'"), 0);
}

TEST_F(PythonInterop, TheUnitLoadsXMLAndBinaryDocumentsPlistlibWrote) {
    FactoryFolder factory;
    for (const char* format : {"xml", "binary"})
        ASSERT_EQ(runPython(std::string("write ") + format + " '" + (factory.folder() / format).string() +
                            ".plist'"),
                  0);
    auto unit = makeUnit();
    const auto presets = unit->factoryPresets();
    ASSERT_EQ(presets.size(), 2u);
    for (const auto& preset : presets) {
        SCOPED_TRACE(preset.name);
        unit->setParameter(1005, 0.0f);
        ASSERT_TRUE(unit->setCurrentPreset(preset).ok());
        for (const auto& [address, value] : allValues(*unit))
            EXPECT_EQ(value, expectedValue(address)) << address;
        const auto state = unit->presetState(preset);
        ASSERT_TRUE(state.ok());
        EXPECT_EQ(*state->find("name")->asString(), "From Python");
    }
}

} // namespace
