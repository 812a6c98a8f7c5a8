#include "ComponentsTestSupport.h"

#include "plat/dispatch.h"

#include <functional>
#include <sstream>

namespace {

using plat::AVAudioUnitComponentManager;
using plat::plist::Dictionary;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> bundleNames(const std::vector<plat::AVAudioUnitComponent>& components) {
    std::vector<std::string> names;
    for (const auto& c : components) names.push_back(c.bundlePath().filename().string());
    return names;
}

TEST(ComponentDescription, MatchesWithWildcardsAndUnderTheMask) {
    const auto component = description("aumf", "yuSV", "KWOB", 2);
    const struct {
        const char* fault;
        plat::AudioComponentDescription pattern;
        bool matches;
    } cases[] = {
        {"exact codes refused", description("aumf", "yuSV", "KWOB"), true},
        {"zero type not a wildcard", description("", "yuSV", "KWOB"), true},
        {"all-zero pattern not matching everything", description("", "", ""), true},
        {"subtype ignored", description("aumf", "xxxx", "KWOB"), false},
        {"manufacturer ignored", description("aumf", "yuSV", "XXXX"), false},
        {"flags compared without a mask", description("aumf", "yuSV", "KWOB", 1, 0), true},
        {"flags under the mask ignored", description("aumf", "yuSV", "KWOB", 1, 3), false},
        {"flags under the mask refused", description("aumf", "yuSV", "KWOB", 2, 2), true},
    };
    for (const auto& c : cases) EXPECT_EQ(c.pattern.matches(component), c.matches) << c.fault;
}

TEST(ComponentRegistry, SkipsEachMalformedRecordWithAMessage) {
    using Spoil = std::function<void(Dictionary&)>;
    const struct {
        const char* fault;
        Spoil spoil;
        const char* text; // written instead of the record when set
        const char* message;
    } cases[] = {
        {"no record", nullptr, "", "it has no registration record (Info.plist)"},
        {"not a property list", nullptr, "this is no property list", "Info.plist is not a property list"},
        {"not a dictionary", nullptr, "<plist version=\"1.0\"><array/></plist>",
         "does not hold a dictionary"},
        {"missing key", [](Dictionary& r) { r.erase("entry"); }, nullptr, "the record has no \"entry\""},
        {"key of the wrong type", [](Dictionary& r) { r.set("abiVersion", "1"); }, nullptr,
         "the record's \"abiVersion\" is not an integer"},
        {"code of three characters", [](Dictionary& r) { r.set("type", "aum"); }, nullptr,
         "the record's \"type\" must be four printable ASCII characters, not \"aum\""},
        {"code with a control byte", [](Dictionary& r) { r.set("subtype", "yu\nV"); }, nullptr,
         "not \"yu\\x0aV\""},
        {"empty name", [](Dictionary& r) { r.set("name", ""); }, nullptr, "the record's \"name\" is empty"},
        {"malformed version", [](Dictionary& r) { r.set("version", "1.x"); }, nullptr,
         "the record's \"version\" must be major[.minor[.bugfix]]"},
        {"library missing", [](Dictionary& r) { r.set("library", "lib/none.so"); }, nullptr,
         "names a library that is not there"},
        {"library outside the bundle", [](Dictionary& r) { r.set("library", "../fixture.so"); }, nullptr,
         "must be a relative path inside the bundle"},
        {"entry that is no symbol", [](Dictionary& r) { r.set("entry", "Fixture Entry"); }, nullptr,
         "the record's \"entry\" must be a C identifier"},
        {"ABI mismatch", [](Dictionary& r) { r.set("abiVersion", 2); }, nullptr,
         "the record is for plug-in ABI version 2; this host loads version 1"},
        {"flags out of range", [](Dictionary& r) { r.set("flags", -1); }, nullptr,
         "the record's \"flags\" must be from 0 to 4294967295"},
    };
    PlugInFolder folder;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string name = "case-" + std::to_string(10 + i) + ".appex";
        Dictionary record = fixtureRecord();
        if (cases[i].spoil) cases[i].spoil(record);
        if (!cases[i].text) {
            folder.bundle(name, record);
        } else if (*cases[i].text) {
            writeText(folder.emptyBundle(name) / "Info.plist", cases[i].text);
        } else {
            folder.emptyBundle(name);
        }
    }
    folder.bundle("valid.appex", fixtureRecord());

    ConsoleCapture console;
    const AVAudioUnitComponentManager registry({folder.path()});
    EXPECT_EQ(bundleNames(registry.componentsMatching({})), std::vector<std::string>{"valid.appex"});
    const auto printed = lines(console.text());
    EXPECT_EQ(printed.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string bundle = "case-" + std::to_string(10 + i) + ".appex: ";
        const auto line = std::find_if(printed.begin(), printed.end(),
                                       [&](const auto& l) { return l.find(bundle) != std::string::npos; });
        ASSERT_NE(line, printed.end()) << cases[i].fault;
        EXPECT_TRUE(line->starts_with("plat::components: skipped ")) << *line;
        EXPECT_NE(line->find(cases[i].message), std::string::npos) << cases[i].fault << ": " << *line;
    }
}

TEST(ComponentRegistry, TheFirstValidMatchInAStableOrderWins) {
    PlugInFolder first, second;
    // Made out of name order: the listing must not follow the folder's own order.
    first.bundle("c.appex", fixtureRecord("fxSV", 3));
    Dictionary broken = fixtureRecord("fxSV", 1);
    broken.erase("library");
    first.bundle("a.appex", broken);
    first.bundle("d.appex", fixtureRecord("othr", 4));
    first.bundle("b.appex", fixtureRecord("fxSV", 2));
    second.bundle("a.appex", fixtureRecord("fxSV", 5));

    ConsoleCapture console;
    AVAudioUnitComponentManager registry({first.path(), second.path(), first.path()});
    EXPECT_EQ(bundleNames(registry.componentsMatching({})), (std::vector<std::string>{"b.appex", "d.appex"}));
    const auto wanted = description("aumf", "fxSV", "TEST", 2, 0);
    const auto found = registry.componentsMatching(wanted);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].audioComponentDescription(), description("aumf", "fxSV", "TEST", 2, 0));
    EXPECT_EQ(found[0].name(), "Fixture");
    EXPECT_EQ(found[0].manufacturerName(), "TEST");
    EXPECT_EQ(found[0].version(), 0x010203u);
    EXPECT_EQ(console.count("already registered by " + (first.path() / "b.appex").string()), 2u);

    const auto made = awaitDelivery([&](auto done) { registry.instantiate(wanted, done); });
    ASSERT_TRUE(made.unit.ok()) << made.unit.error().description;
    EXPECT_EQ(made.unit.value()->componentDescription().componentFlags, 2u);
}

TEST(ComponentRegistry, RefusesToInstantiateWhatCannotBeLoaded) {
    const struct {
        const char* fault;
        const char* subtype;
        const char* entry;
        bool textLibrary;
        const char* message;
    } cases[] = {
        {"library that is no library", "nlib", "FixtureEntry", true, "cannot load "},
        {"entry symbol missing", "nsym", "NoSuchEntry", false, "has no entry symbol \"NoSuchEntry\""},
        {"entry for another ABI", "nabi", "FixtureEntryOtherABI", false,
         "was built for plug-in ABI version 2; this host loads version 1"},
        {"entry that returns nothing", "nret", "FixtureEntryNothing", false, "returned nothing"},
        {"factory error", "fail", "FixtureEntry", false, "the fixture refuses"},
    };
    PlugInFolder folder;
    for (const auto& c : cases) {
        const std::string name = std::string(c.subtype) + ".appex";
        if (c.textLibrary) {
            const fs::path bundle = folder.emptyBundle(name);
            writeText(bundle / "lib/fixture.so", "not a library");
            ASSERT_TRUE(
                plat::plist::writeFile(bundle / "Info.plist", fixtureRecord(c.subtype, 0, c.entry)).ok());
        } else {
            folder.bundle(name, fixtureRecord(c.subtype, 0, c.entry));
        }
    }
    ConsoleCapture console;
    AVAudioUnitComponentManager registry({folder.path()});
    for (const auto& c : cases) {
        const auto found = registry.componentsMatching(description("aumf", c.subtype, "TEST"));
        ASSERT_EQ(found.size(), 1u) << c.fault;
        const auto made = awaitDelivery([&](auto done) { registry.instantiate(found[0], done); });
        ASSERT_FALSE(made.unit.ok()) << c.fault;
        EXPECT_NE(made.unit.error().description.find(c.message), std::string::npos)
            << c.fault << ": " << made.unit.error().description;
        EXPECT_EQ(console.count("plat::components: cannot instantiate " + found[0].bundlePath().string()), 1u)
            << c.fault;
    }
    // The factory's own error reaches the host unchanged.
    const auto refused =
        awaitDelivery([&](auto done) { registry.instantiate(description("aumf", "fail", "TEST"), done); });
    EXPECT_EQ(refused.unit.error().domain, "FixtureDomain");
    EXPECT_EQ(refused.unit.error().code, 42);
}

TEST(ComponentRegistry, DeliversOffTheCallersThreadAndTheViewControllerOnTheMainQueue) {
    PlugInFolder folder;
    folder.bundle("fixture.appex", fixtureRecord());
    AVAudioUnitComponentManager registry({folder.path()});
    const auto none =
        awaitDelivery([&](auto done) { registry.instantiate(description("none", "", ""), done); });
    EXPECT_FALSE(none.unit.ok());
    EXPECT_NE(none.thread, std::this_thread::get_id());
    const auto made =
        awaitDelivery([&](auto done) { registry.instantiate(description("aumf", "", ""), done); });
    ASSERT_TRUE(made.unit.ok());
    EXPECT_NE(made.thread, std::this_thread::get_id());

    ConsoleCapture console;
    bool delivered = false;
    made.unit.value()->requestViewController([&](std::shared_ptr<plat::UIViewController> controller) {
        delivered = plat::isMainThread() && controller == nullptr;
    });
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return delivered; }, std::chrono::seconds(5)));
    EXPECT_EQ(console.count("fixture: view controller asked on the main thread"), 1u);
}

} // namespace
