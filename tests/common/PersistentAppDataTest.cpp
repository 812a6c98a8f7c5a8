// Typed settings in the application's store and the group's, seen from this process and others.
#include "PersistentAppData.h"
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
    for (pid_t pid : children) {
        int status = -1;
        EXPECT_TRUE(::waitpid(pid, &status, 0) == pid && status == 0);
    }
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

TEST(PersistentAppData, DefaultsAndCombinedSearchTheGroupAfterTheApplicationAndOtherProcessesShareTheStores) {
    PersistentAppData data;
    data.setInteger("apart.key", 7, Storage::shared), data.setInteger("apart.key", 3, Storage::defaults);
    data.setInteger("apart.group", 8, Storage::shared);
    data.setInteger("apart.other", 5, Storage::combined); // combined writes to the application
    // `defaults` and `combined` are one store: the application's domain first, then the group's.
    const std::tuple<const char*, Storage, int> reads[] = {
        {"apart.key", Storage::combined, 3},   {"apart.key", Storage::shared, 7},
        {"apart.key", Storage::defaults, 3},   {"apart.group", Storage::combined, 8},
        {"apart.group", Storage::defaults, 8}, {"apart.other", Storage::defaults, 5},
        {"apart.other", Storage::shared, 0}};
    for (const auto& [key, storage, value] : reads) EXPECT_EQ(data.getInteger(key, storage), value) << key;
    // The group's value is found, not copied: the application's own domain holds none.
    const auto ownDomain = plat::UserDefaults::suite(plat::UserDefaults::standard()->domainName());
    EXPECT_FALSE(ownDomain->object("apart.group").has_value());
    EXPECT_EQ(ownDomain->integer("apart.other"), 5);
    EXPECT_EQ(GroupDefaults::combined(), plat::UserDefaults::standard());
    EXPECT_NE(GroupDefaults::shared(), GroupDefaults::shared()); // a new store object on each read

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
    EXPECT_EQ(data.getInteger("xproc.fromChild", Storage::shared), 42);
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
    PersistentAppData data("../escape/attempt");
    EXPECT_EQ(out.count("PersistentAppData::init() : ERROR:"), 1u);
    data.setString("mem.key", "kept", Storage::shared);
    EXPECT_EQ(data.getString("mem.key", Storage::combined), "kept");
    EXPECT_EQ(data.getString("mem.key", Storage::defaults), "kept");
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / ".." / "escape"));
}

TEST(PersistentAppData, DumpoutListsEveryStoreInOrderAndTheStandardStoreSearchesTheGroup) {
    PersistentAppData data;
    data.setInteger("dump.app", 11), data.setInteger("dump.group", 12, Storage::shared);
    ConsoleCapture out;
    data.dumpout();
    std::size_t at = 0;
    for (const char* part :
         {"standard : \n", "dump.app = 11 \n\n", "dump.group = 12 \n\n", "shared : \n",
          "dump.group = 12 \n\n", "combined : \n", "dump.app = 11 \n\n", "dump.group = 12 \n\n"})
        EXPECT_NE(at = out.text().find(part, at), std::string::npos) << part;
    EXPECT_EQ(out.count("PersistentAppData::dumpout() : UserDefaults."), 3u);
}
