// Typed settings in the application's store and the group's, seen from this process and others.
#include "PersistentAppData.h"
#include "ChildProcess.h"
#include "ConsoleCapture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

using Storage = PersistentAppData::Storage;
using plat::plist::Value;

// Runs `work` in child processes, as other applications sharing the settings would, and waits for them.
void inOtherProcesses(const std::vector<std::function<void()>>& works) {
    std::vector<pid_t> children;
    for (const auto& work : works)
        if (children.push_back(::fork()), children.back() == 0) work(), std::_Exit(0); // in the child
    for (pid_t pid : children) EXPECT_EQ(waitForChild(pid, "a process sharing the settings"), 0);
}

} // namespace

TEST(PersistentAppData, TypedValuesRoundTripAndMissingOrRemovedKeysGiveNeutralValues) {
    {
        PersistentAppData w;
        w.setString("rt.string", "Grüße"), w.setInteger("rt.int", -42), w.setFloat("rt.float", 0.25f);
        w.setBool("rt.bool", true), w.setURL("rt.url", plat::URL::string("https://example.org/a%20b"));
        w.setObject("rt.object", Value(plat::plist::Array{1, "two", 3.5}));
        w.setURL("rm.url", plat::URL::fileURL("/tmp/x")), w.setURL("rm.url", std::nullopt);
        w.setObject("rm.obj", Value(1)), w.setObject("rm.obj", std::nullopt);
    }
    PersistentAppData reader;
    EXPECT_EQ(reader.getString("rt.string"), "Grüße");
    EXPECT_EQ(reader.getInteger("rt.int") + reader.getInteger("never"), -42);
    EXPECT_EQ(reader.getFloat("rt.float") + reader.getFloat("never", Storage::combined), 0.25f);
    EXPECT_TRUE(reader.getBool("rt.bool") && !reader.getBool("never", Storage::shared));
    EXPECT_EQ(reader.getUrl("rt.url")->absoluteString(), "https://example.org/a%20b");
    EXPECT_EQ(*reader.getObject("rt.object"), Value(plat::plist::Array{1, "two", 3.5}));
    EXPECT_FALSE(reader.getUrl("rm.url") || reader.getObject("rm.obj") || reader.getString("never"));
}

TEST(PersistentAppData, DefaultsAndCombinedAreOneStoreThatSearchesTheGroupAfterTheApplicationAndWritesToIt) {
    PersistentAppData data;
    // The application's own domain and the group's, each read without a search list.
    const auto application = plat::UserDefaults::suite(plat::UserDefaults::standard()->domainName());
    const auto group = plat::UserDefaults::suite(sharedContainer);
    data.setInteger("both.key", 7, Storage::shared), data.setInteger("both.key", 3, Storage::defaults);
    data.setInteger("group.only", 8, Storage::shared);
    data.setInteger("via.combined", 5, Storage::combined), data.setInteger("via.defaults", 6);
    struct Read {
        const char* fault;
        const char* key;
        Storage from;
        int value;
    };
    const Read reads[] = {
        {"the group is searched before the application", "both.key", Storage::defaults, 3},
        {"the group is searched before the application", "both.key", Storage::combined, 3},
        {"the group's store searches the application's", "both.key", Storage::shared, 7},
        {"the application's store does not search the group", "group.only", Storage::defaults, 8},
        {"the combined store does not search the group", "group.only", Storage::combined, 8},
        {"defaults and combined are different stores", "via.combined", Storage::defaults, 5},
        {"defaults and combined are different stores", "via.defaults", Storage::combined, 6},
        {"a write through combined reaches the group", "via.combined", Storage::shared, 0},
    };
    for (const auto& r : reads) EXPECT_EQ(data.getInteger(r.key, r.from), r.value) << r.fault;
    // The application's domain holds what was written through defaults or combined, and none of
    // the group's keys.
    EXPECT_EQ(std::tuple(application->object("group.only").has_value(), application->integer("via.combined"),
                         application->integer("via.defaults"), group->object("via.defaults").has_value()),
              std::tuple(false, 5, 6, false));
    EXPECT_EQ(UserDefaultsExtension::combined(), plat::UserDefaults::standard());
    EXPECT_NE(UserDefaultsExtension::shared(), group); // each read a new object of the same domain
    EXPECT_EQ(UserDefaultsExtension::shared()->integer("group.only"), 8);
}

TEST(PersistentAppData, OtherProcessesShareBothStoresAndLoseNoChanges) {
    PersistentAppData data;
    // Another process sees both stores apart; a change it makes is read again, and processes writing
    // at once lose no change.
    data.setString("xproc.app", "from-test"), data.setString("xproc.group", "group-value", Storage::shared);
    const std::string concurrent = sharedContainer + ".concurrent";
    auto fill = [&](char prefix) {
        auto store = plat::UserDefaults::suite(concurrent);
        for (int i = 0; i < 60; ++i) store->set(std::to_string(i) + prefix, Value(i));
    };
    inOtherProcesses({[] {
        PersistentAppData other;
        const bool apart = other.getString("xproc.app") == "from-test" &&
                           !other.getString("xproc.app", Storage::shared) &&
                           other.getString("xproc.group", Storage::shared) == "group-value";
        other.setInteger("xproc.fromChild", apart ? 42 : -1, Storage::shared);
    }});
    // Seen through the group's store, and through the application's, which holds no such key.
    EXPECT_EQ(
        std::tuple(data.getInteger("xproc.fromChild", Storage::shared), data.getInteger("xproc.fromChild")),
        std::tuple(42, 42));
    inOtherProcesses({[&] { fill('a'); }, [&] { fill('b'); }});
    EXPECT_EQ(plat::UserDefaults::suite(concurrent)->dictionaryRepresentation().size(), 120u);
}

TEST(PersistentAppData, FramesBecomeDictionariesAndBackAndAnUnusableGroupNameIsReportedAndKeptInMemory) {
    const auto dict = PersistentAppData::frameToDictionary(plat::CGRect(10, 20, -30, 40));
    EXPECT_EQ(dict,
              (plat::plist::Dictionary{{"left", -20.0}, {"top", 20.0}, {"width", 30.0}, {"height", 40.0}}));
    auto& shared = PersistentAppData::sharedInstance();
    shared.setObject("frame.partial", Value(plat::plist::Dictionary{{"width", 300.0f}}));
    shared.setObject("frame.full", Value(dict)), shared.setString("frame.text", "not a frame");
    EXPECT_EQ(PersistentAppData::dictionaryToFrame("frame.partial"), plat::CGRect(0, 0, 300, 100));
    EXPECT_EQ(PersistentAppData::dictionaryToFrame("frame.full"), plat::CGRect(-20, 20, 30, 40));
    EXPECT_FALSE(PersistentAppData::dictionaryToFrame("frame.text") ||
                 PersistentAppData::dictionaryToFrame("frame.none"));

    ConsoleCapture out;
    static int run = 0; // a name of its own for each repetition: each name is reported once
    const std::string unusable = "../escape/attempt" + std::to_string(++run);
    PersistentAppData data(unusable);
    data.setString("mem.key", "kept", Storage::shared);
    EXPECT_EQ(std::tuple(data.getString("mem.key", Storage::combined), data.getString("mem.key")),
              std::tuple("kept", "kept"));
    EXPECT_EQ(UserDefaultsExtension::shared(unusable)->string("mem.key"), "kept")
        << "a fresh read of the group's store lost what it held";
    EXPECT_EQ(out.count("UserDefaults.shared : ERROR: the settings group '" + unusable + "'"), 1u);
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / ".." / "escape"));
}

TEST(PersistentAppData, DumpoutListsEveryStoreInOrder) {
    PersistentAppData data;
    data.setInteger("dump.app", 11), data.setInteger("dump.group", 12, Storage::shared);
    ConsoleCapture out;
    data.dumpout();
    std::size_t at = 0;
    // The standard store searches the group too, so its section lists the group's keys after its own.
    for (const char* part :
         {"standard : \n", "dump.app = 11 \n\n", "dump.group = 12 \n\n", "shared : \n",
          "dump.group = 12 \n\n", "combined : \n", "dump.app = 11 \n\n", "dump.group = 12 \n\n"})
        EXPECT_NE(at = out.text().find(part, at), std::string::npos) << part;
    EXPECT_EQ(out.count("PersistentAppData::dumpout() : UserDefaults."), 3u);
}
