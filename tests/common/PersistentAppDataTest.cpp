#include "PersistentAppData.h"
#include "TestSupport.h"

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Storage = PersistentAppData::Storage;

// Starts the settings probe with its standard output going to `out` (-1: inherited).
pid_t startProbe(std::vector<std::string> args, int out = -1) {
    args.insert(args.begin(), SETTINGS_PROBE);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out >= 0) posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, SETTINGS_PROBE, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

bool exitedCleanly(pid_t pid) {
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs the settings probe and returns what it printed (or "failed").
std::string probe(std::vector<std::string> args) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return "pipe failed";
    const pid_t pid = startProbe(std::move(args), pipeFds[1]);
    ::close(pipeFds[1]);
    std::string out;
    std::array<char, 256> buf{};
    for (ssize_t n; (n = ::read(pipeFds[0], buf.data(), buf.size())) > 0;)
        out.append(buf.data(), std::size_t(n));
    ::close(pipeFds[0]);
    return exitedCleanly(pid) ? out : "failed";
}

std::string appDomain() {
    return plat::UserDefaults::standard()->domainName();
}

} // namespace

TEST(PersistentAppData, MissingKeysGiveNeutralValues) {
    PersistentAppData data;
    EXPECT_EQ(data.getInteger("never.written"), 0);
    EXPECT_FALSE(data.getString("never.written").has_value());
    EXPECT_FALSE(data.getBool("never.written", Storage::shared));
    EXPECT_EQ(data.getFloat("never.written", Storage::combined), 0.0f);
    EXPECT_FALSE(data.getObject("never.written").has_value());
}

TEST(PersistentAppData, TypedValuesRoundTripThroughAFreshObject) {
    {
        PersistentAppData writer;
        writer.setString("rt.string", "Grüße");
        writer.setInteger("rt.int", -42);
        writer.setFloat("rt.float", 0.25f);
        writer.setBool("rt.bool", true);
        writer.setURL("rt.url", plat::URL::string("https://example.org/a%20b"));
        writer.setObject("rt.object", plat::plist::Value(plat::plist::Array{1, "two", 3.5}));
    }
    PersistentAppData reader;
    EXPECT_EQ(reader.getString("rt.string"), "Grüße");
    EXPECT_EQ(reader.getInteger("rt.int"), -42);
    EXPECT_EQ(reader.getFloat("rt.float"), 0.25f);
    EXPECT_TRUE(reader.getBool("rt.bool"));
    EXPECT_EQ(reader.getUrl("rt.url")->absoluteString(), "https://example.org/a%20b");
    EXPECT_EQ(*reader.getObject("rt.object"), plat::plist::Value(plat::plist::Array{1, "two", 3.5}));
}

TEST(PersistentAppData, ApplicationAndGroupStoresStayApart) {
    PersistentAppData data;
    for (auto storage : {Storage::defaults, Storage::shared})
        for (const char* key : {"apart.key", "apart.other"}) data.setObject(key, std::nullopt, storage);
    data.setInteger("apart.key", 7, Storage::shared);
    EXPECT_EQ(data.getInteger("apart.key", Storage::defaults), 0);
    EXPECT_EQ(data.getInteger("apart.key", Storage::shared), 7);
    EXPECT_EQ(data.getInteger("apart.key", Storage::combined), 7);

    data.setInteger("apart.key", 3, Storage::defaults);
    EXPECT_EQ(data.getInteger("apart.key", Storage::combined), 3); // own store first
    EXPECT_EQ(data.getInteger("apart.key", Storage::shared), 7);

    data.setInteger("apart.other", 5, Storage::combined); // combined writes to the application
    EXPECT_EQ(data.getInteger("apart.other", Storage::defaults), 5);
    EXPECT_EQ(data.getInteger("apart.other", Storage::shared), 0);
}

TEST(PersistentAppData, AnotherProcessReadsAndWritesTheSameStores) {
    PersistentAppData data;
    data.setString("xproc.app", "from-test");
    data.setString("xproc.group", "group-value", Storage::shared);
    EXPECT_EQ(probe({"get", appDomain(), "xproc.app"}), "from-test");
    EXPECT_EQ(probe({"get", sharedContainer, "xproc.group"}), "group-value");
    EXPECT_EQ(probe({"get", sharedContainer, "xproc.app"}), "<none>");

    ASSERT_EQ(probe({"set", sharedContainer, "xproc.fromChild", "42"}), "");
    EXPECT_EQ(data.getInteger("xproc.fromChild", Storage::shared), 42); // re-read after the change
    EXPECT_EQ(data.getString("xproc.group", Storage::shared), "group-value");
}

TEST(PersistentAppData, ProcessesWritingAtOnceLoseNoChange) {
    const std::string domain = sharedContainer + ".concurrent";
    const pid_t first = startProbe({"fill", domain, "a", "60"});
    const pid_t second = startProbe({"fill", domain, "b", "60"});
    ASSERT_TRUE(exitedCleanly(first));
    ASSERT_TRUE(exitedCleanly(second));
    const auto store = plat::UserDefaults::suite(domain);
    EXPECT_EQ(store->dictionaryRepresentation().size(), 120u);
}

TEST(PersistentAppData, AbsentURLOrObjectRemovesTheKey) {
    PersistentAppData data;
    data.setURL("rm.url", plat::URL::fileURL("/tmp/x"));
    ASSERT_TRUE(data.getUrl("rm.url").has_value());
    data.setURL("rm.url", std::nullopt);
    EXPECT_FALSE(data.getUrl("rm.url").has_value());
    data.setObject("rm.obj", plat::plist::Value(1));
    data.setObject("rm.obj", std::nullopt);
    EXPECT_FALSE(data.getObject("rm.obj").has_value());
}

TEST(PersistentAppData, FramesBecomeDictionariesAndBack) {
    const auto dict = PersistentAppData::frameToDictionary(plat::CGRect(10, 20, -30, 40));
    EXPECT_EQ(dict.size(), 4u);
    EXPECT_EQ(*dict.find("left")->asNumber(), -20);
    EXPECT_EQ(*dict.find("top")->asNumber(), 20);
    EXPECT_EQ(*dict.find("width")->asNumber(), 30);
    EXPECT_EQ(*dict.find("height")->asNumber(), 40);

    auto& shared = PersistentAppData::sharedInstance();
    shared.setObject("frame.partial", plat::plist::Value(plat::plist::Dictionary{{"width", 300.0f}}));
    EXPECT_EQ(PersistentAppData::dictionaryToFrame("frame.partial"), plat::CGRect(0, 0, 300, 100));
    shared.setObject("frame.full", plat::plist::Value(dict));
    EXPECT_EQ(PersistentAppData::dictionaryToFrame("frame.full"), plat::CGRect(-20, 20, 30, 40));
    shared.setString("frame.text", "not a frame");
    EXPECT_FALSE(PersistentAppData::dictionaryToFrame("frame.text").has_value());
    EXPECT_FALSE(PersistentAppData::dictionaryToFrame("frame.missing").has_value());
}

TEST(PersistentAppData, AnUnusableGroupNameIsReportedAndKeptInMemory) {
    ConsoleCapture out;
    PersistentAppData data("../escape/attempt");
    EXPECT_EQ(out.count("PersistentAppData::init() : ERROR:"), 1u);
    data.setString("mem.key", "kept", Storage::shared);
    EXPECT_EQ(data.getString("mem.key", Storage::shared), "kept");
    EXPECT_EQ(data.getString("mem.key", Storage::combined), "kept");
    EXPECT_FALSE(data.getString("mem.key", Storage::defaults).has_value());
    std::error_code ec;
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / ".." / "escape", ec));
}

TEST(PersistentAppData, DumpoutListsEveryStore) {
    PersistentAppData data;
    data.setInteger("dump.app", 11);
    data.setInteger("dump.group", 12, Storage::shared);
    ConsoleCapture out;
    data.dumpout();
    const std::string text = out.text();
    const auto standard = text.find("PersistentAppData::dumpout() : UserDefaults.standard : \n");
    const auto shared = text.find("PersistentAppData::dumpout() : UserDefaults.shared : \n", standard);
    const auto combined = text.find("PersistentAppData::dumpout() : UserDefaults.combined : \n", shared);
    ASSERT_NE(combined, std::string::npos); // all three, in this order
    EXPECT_LT(text.find("dump.app = 11 \n\n"), shared);
    EXPECT_GT(text.find("dump.group = 12 \n\n"), shared);
    EXPECT_NE(text.find("dump.group = 12 \n\n", combined), std::string::npos);
}
