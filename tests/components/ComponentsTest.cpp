// The component registry against a fixture plug-in in bundles made here, and against the real
// plug-in's bundle in the build tree, found through the search path and its record alone.

#include "ConsoleCapture.h"
#include "ScratchFolder.h"

#include "plat/components.h"
#include "plat/dispatch.h"
#include "plat/files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <thread>

namespace {

namespace fs = std::filesystem;
using plat::AVAudioUnitComponentManager;
using plat::plist::Dictionary;

plat::AudioComponentDescription codes(const char* type, const char* subtype, const char* maker,
                                      std::uint32_t flags = 0, std::uint32_t mask = 0) {
    const auto code = [](const char* c) { return *c ? plat::fourCC({c[0], c[1], c[2], c[3], 0}) : 0u; };
    return {code(type), code(subtype), code(maker), flags, mask};
}

Dictionary fixtureRecord(const char* subtype = "fxSV", long flags = 0, const char* entry = "FixtureEntry") {
    return {{"type", "aumf"},         {"subtype", subtype},
            {"manufacturer", "TEST"}, {"name", "TEST: Fixture"},
            {"version", "1.2.3"},     {"library", "lib/fixture.so"},
            {"entry", entry},         {"abiVersion", long(plat::kAudioComponentPlugInABIVersion)},
            {"flags", flags}};
}

// A bundle in `folder` with the fixture library as lib/fixture.so and `record` as its Info.plist.
fs::path makeBundle(const fs::path& folder, const std::string& name, const Dictionary& record) {
    fs::create_directories(folder / name / "lib");
    fs::create_symlink(FIXTURE_LIBRARY, folder / name / "lib/fixture.so");
    EXPECT_TRUE(plat::plist::writeFile(folder / name / "Info.plist", record).ok());
    return folder / name;
}

std::vector<std::string> bundleNames(const AVAudioUnitComponentManager& registry) {
    std::vector<std::string> names;
    for (const auto& c : registry.componentsMatching({})) names.push_back(c.bundlePath().filename().string());
    return names;
}

struct Delivered {
    plat::Result<std::shared_ptr<plat::AUAudioUnit>> unit;
    std::thread::id thread;
};

template <class Start>
Delivered awaitDelivery(Start start) {
    std::promise<Delivered> delivered;
    start([&](plat::Result<std::shared_ptr<plat::AUAudioUnit>> unit) {
        delivered.set_value({std::move(unit), std::this_thread::get_id()});
    });
    return delivered.get_future().get();
}

TEST(ComponentDescription, MatchesWithWildcardsAndUnderTheMask) {
    const auto component = codes("aumf", "yuSV", "KWOB", 2);
    const struct {
        const char* fault;
        plat::AudioComponentDescription pattern;
        bool matches;
    } cases[] = {
        {"zero type not a wildcard", codes("", "yuSV", "KWOB"), true},
        {"all-zero pattern not matching everything", codes("", "", ""), true},
        {"subtype ignored", codes("aumf", "xxxx", "KWOB"), false},
        {"manufacturer ignored", codes("aumf", "yuSV", "XXXX"), false},
        {"flags compared without a mask", codes("aumf", "yuSV", "KWOB", 1, 0), true},
        {"flags under the mask ignored", codes("aumf", "yuSV", "KWOB", 1, 3), false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.pattern.matches(component), c.matches) << c.fault;
}

TEST(ComponentRegistry, SkipsEachMalformedRecordWithAMessage) {
    const struct {
        const char* fault;
        const char* key; // set to `value` in a valid record, or erased without one
        std::optional<plat::plist::Value> value;
        const char* message;
    } cases[] = {
        {"missing key", "entry", {}, "the record has no \"entry\""},
        {"key of the wrong type", "abiVersion", "1", "the record's \"abiVersion\" is not an integer"},
        {"code with a control byte", "subtype", "yu\nV",
         "\"subtype\" must be four printable ASCII characters, not \"yu\\x0aV\""},
        {"library missing", "library", "lib/none.so", "names a library that is not there"},
        {"library outside the bundle", "library", "../fixture.so",
         "must be a relative path inside the bundle"},
        {"entry that is no symbol", "entry", "Fixture Entry", "\"entry\" must be a C identifier"},
        {"ABI mismatch", "abiVersion", 2,
         "the record is for plug-in ABI version 2; this host loads version 1"},
        {"flags out of range", "flags", -1, "\"flags\" must be from 0 to 4294967295"},
        {"malformed version", "version", "1.x", "\"version\" must be major[.minor[.bugfix]]"},
    };
    ScratchFolder folder;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Dictionary record = fixtureRecord();
        cases[i].value ? record.set(cases[i].key, *cases[i].value) : (void)record.erase(cases[i].key);
        makeBundle(folder.path(), "case" + std::to_string(i) + ".appex", record);
    }
    fs::create_directories(folder.path() / "norecord.appex");
    writeText(folder.path() / "text.appex/Info.plist", "this is no property list");
    makeBundle(folder.path(), "valid.appex", fixtureRecord());

    ConsoleCapture console;
    const AVAudioUnitComponentManager registry({folder.path()});
    EXPECT_EQ(bundleNames(registry), std::vector<std::string>{"valid.appex"});
    const std::string printed = console.text();
    const auto reason = [&](const std::string& bundle) {
        const auto at = printed.find("plat::components: skipped " + (folder.path() / bundle).string() + ": ");
        return at == std::string::npos ? std::string() : printed.substr(at, printed.find('\n', at) - at);
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_NE(reason("case" + std::to_string(i) + ".appex").find(cases[i].message), std::string::npos)
            << cases[i].fault;
    EXPECT_NE(reason("norecord.appex").find("it has no registration record (Info.plist)"), std::string::npos);
    EXPECT_NE(reason("text.appex").find("Info.plist is not a property list"), std::string::npos);
    EXPECT_EQ(console.count("\n"), std::size(cases) + 2);
}

TEST(ComponentRegistry, TheFirstValidMatchInAStableOrderWins) {
    ScratchFolder first, second;
    // Made out of name order: the listing must not follow the folder's own order.
    makeBundle(first.path(), "c.appex", fixtureRecord("fxSV", 3));
    makeBundle(first.path(), "a.appex", fixtureRecord("fxSV", 1, "")); // malformed
    makeBundle(first.path(), "d.appex", fixtureRecord("othr", 4));
    makeBundle(first.path(), "b.appex", fixtureRecord("fxSV", 2));
    makeBundle(second.path(), "a.appex", fixtureRecord("fxSV", 5));

    ConsoleCapture console;
    AVAudioUnitComponentManager registry({first.path(), second.path(), first.path()});
    EXPECT_EQ(bundleNames(registry), (std::vector<std::string>{"b.appex", "d.appex"}));
    EXPECT_EQ(console.count("already registered by " + (first.path() / "b.appex").string()), 2u);
    const auto found = registry.componentsMatching(codes("aumf", "fxSV", "TEST", 2, 0));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name() + "|" + found[0].manufacturerName() + "|" + found[0].typeName(),
              "Fixture|TEST|Music Effect");
    EXPECT_EQ(found[0].version(), 0x010203u);

    const auto made =
        awaitDelivery([&](auto done) { registry.instantiate(codes("aumf", "fxSV", ""), done); });
    ASSERT_TRUE(made.unit.ok()) << made.unit.error().description;
    EXPECT_EQ(made.unit.value()->componentDescription(), codes("aumf", "fxSV", "TEST", 2, 0));
}

TEST(ComponentRegistry, RefusesToInstantiateWhatCannotBeLoaded) {
    const struct {
        const char* fault;
        const char* subtype;
        const char* entry;
        const char* message;
        long code; // the factory's own error arrives unchanged
    } cases[] = {
        {"library that is no library", "nlib", "FixtureEntry", "cannot load ", -10875},
        {"entry symbol missing", "nsym", "NoSuchEntry", "has no entry symbol \"NoSuchEntry\"", -10875},
        {"entry for another ABI", "nabi", "FixtureEntryOtherABI",
         "was built for plug-in ABI version 2; this host loads version 1", -10875},
        {"factory error", "fail", "FixtureEntry", "the fixture refuses", 42},
    };
    ScratchFolder folder;
    for (const auto& c : cases)
        makeBundle(folder.path(), c.subtype + std::string(".appex"), fixtureRecord(c.subtype, 0, c.entry));
    fs::remove(folder.path() / "nlib.appex/lib/fixture.so");
    writeText(folder.path() / "nlib.appex/lib/fixture.so", "not a library");

    ConsoleCapture console;
    AVAudioUnitComponentManager registry({folder.path()});
    for (const auto& c : cases) {
        const auto made =
            awaitDelivery([&](auto done) { registry.instantiate(codes("", c.subtype, ""), done); });
        ASSERT_FALSE(made.unit.ok()) << c.fault;
        EXPECT_NE(made.unit.error().description.find(c.message), std::string::npos) << c.fault;
        EXPECT_EQ(made.unit.error().code, c.code) << c.fault;
        const std::string bundle = (folder.path() / c.subtype).string() + ".appex: ";
        EXPECT_EQ(console.count("plat::components: cannot instantiate " + bundle), 1u) << c.fault;
    }
}

TEST(ComponentRegistry, DeliversOffTheCallersThreadAndTheViewControllerOnTheMainQueue) {
    ScratchFolder folder;
    makeBundle(folder.path(), "fixture.appex", fixtureRecord());
    AVAudioUnitComponentManager registry({folder.path()});
    const auto none = awaitDelivery([&](auto done) { registry.instantiate(codes("none", "", ""), done); });
    EXPECT_FALSE(none.unit.ok());
    EXPECT_NE(none.thread, std::this_thread::get_id());
    const auto made = awaitDelivery([&](auto done) { registry.instantiate(codes("aumf", "", ""), done); });
    ASSERT_TRUE(made.unit.ok());
    EXPECT_NE(made.thread, std::this_thread::get_id());

    ConsoleCapture console;
    bool delivered = false;
    made.unit.value()->requestViewController([&](auto) { delivered = plat::isMainThread(); });
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return delivered; }, std::chrono::seconds(5)));
    EXPECT_EQ(console.count("fixture: view controller asked on the main thread"), 1u);
}

TEST(PlugInBundle, InstantiatesThroughItsRecordRendersAndFindsItsPresets) {
    ConsoleCapture console;
    setenv(plat::kPlugInPathVariable, (std::string("/nonexistent::") + SORVANE_APP_DIR "/PlugIns").c_str(),
           1);
    const auto made = awaitDelivery(
        [](auto done) { plat::AUAudioUnit::instantiate(codes("aumf", "yuSV", "KWOB", 2, 0), 0, done); });
    ASSERT_TRUE(made.unit.ok()) << made.unit.error().description;
    auto& unit = *made.unit.value();
    EXPECT_EQ(unit.componentDescription(), codes("aumf", "yuSV", "KWOB", 2, 0));
    EXPECT_EQ(console.count("plat::components: cannot read a plug-in folder: \u201c/nonexistent\u201d"), 1u);

    std::vector<std::string> expected, listed;
    const auto files = plat::FileManager::defaultManager().contentsOfDirectory(SORVANE_FACTORY_PRESETS_DIR);
    ASSERT_TRUE(files.ok());
    for (const auto& file : files.value()) expected.push_back(fs::path(file).stem().string());
    for (const auto& preset : unit.factoryPresets()) listed.push_back(preset.name);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(listed, expected);

    constexpr std::uint32_t frames = 512;
    std::vector<float> input(frames), left(frames), right(frames);
    for (std::uint32_t i = 0; i < frames; ++i) input[i] = 0.5f * float(std::sin(0.13 * i));
    const plat::AURenderPullInputBlock pull = [&](auto*, auto*, auto n, auto, plat::AudioBufferList* list) {
        for (std::uint32_t c = 0; c < list->mNumberBuffers; ++c)
            std::copy_n(input.begin(), n, static_cast<float*>(list->mBuffers[c].mData));
        return plat::noErr;
    };
    plat::AudioBufferList out{2, {{1, frames * 4, left.data()}, {1, frames * 4, right.data()}}};
    plat::AudioTimeStamp time;
    ASSERT_TRUE(unit.allocateRenderResources().ok());
    EXPECT_EQ(unit.renderBlock()(nullptr, &time, frames, 0, &out, nullptr, &pull), plat::noErr);
    EXPECT_TRUE(std::all_of(left.begin(), left.end(), [](float v) { return std::isfinite(v); }));
    EXPECT_GT(*std::max_element(left.begin(), left.end()), 0.01f);
    unit.deallocateRenderResources();
}

} // namespace
