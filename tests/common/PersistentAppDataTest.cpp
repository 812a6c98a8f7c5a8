// Typed settings in the application's store and the group's, seen from this process and another.
#include "PersistentAppData.h"
#include "TestSupport.h"

#include <cstdio>

namespace {

using Storage = PersistentAppData::Storage;

// Runs the settings probe (a second process) through the shell; what it printed, or "failed".
std::string probe(const std::string& arguments) {
    std::FILE* pipe = ::popen((std::string(SETTINGS_PROBE) + " " + arguments).c_str(), "r");
    if (!pipe) return "failed";
    std::string out;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    return ::pclose(pipe) == 0 ? out : "failed";
}

} // namespace

TEST(PersistentAppData, TypedValuesRoundTripAndMissingOrRemovedKeysGiveNeutralValues) {
    {
        PersistentAppData writer;
        writer.setString("rt.string", "Grüße");
        writer.setInteger("rt.int", -42);
        writer.setFloat("rt.float", 0.25f);
        writer.setBool("rt.bool", true);
        writer.setURL("rt.url", plat::URL::string("https://example.org/a%20b"));
        writer.setObject("rt.object", plat::plist::Value(plat::plist::Array{1, "two", 3.5}));
        writer.setURL("rm.url", plat::URL::fileURL("/tmp/x"));
        writer.setURL("rm.url", std::nullopt);
        writer.setObject("rm.obj", plat::plist::Value(1));
        writer.setObject("rm.obj", std::nullopt);
    }
    PersistentAppData reader;
    EXPECT_EQ(reader.getString("rt.string"), "Grüße");
    EXPECT_EQ(reader.getInteger("rt.int"), -42);
    EXPECT_EQ(reader.getFloat("rt.float"), 0.25f);
    EXPECT_TRUE(reader.getBool("rt.bool"));
    EXPECT_EQ(reader.getUrl("rt.url")->absoluteString(), "https://example.org/a%20b");
    EXPECT_EQ(*reader.getObject("rt.object"), plat::plist::Value(plat::plist::Array{1, "two", 3.5}));
    EXPECT_FALSE(reader.getUrl("rm.url") || reader.getObject("rm.obj") || reader.getString("never"));
    EXPECT_EQ(reader.getInteger("never"), 0);
    EXPECT_FALSE(reader.getBool("never", Storage::shared));
    EXPECT_EQ(reader.getFloat("never", Storage::combined), 0.0f);
}

TEST(PersistentAppData, ApplicationAndGroupStoresStayApartAndAnotherProcessSharesThem) {
    PersistentAppData data;
    data.setInteger("apart.key", 7, Storage::shared);
    EXPECT_EQ(data.getInteger("apart.key", Storage::defaults), 0);
    EXPECT_EQ(data.getInteger("apart.key", Storage::combined), 7);
    data.setInteger("apart.key", 3, Storage::defaults);
    EXPECT_EQ(data.getInteger("apart.key", Storage::combined), 3); // own store first
    EXPECT_EQ(data.getInteger("apart.key", Storage::shared), 7);
    data.setInteger("apart.other", 5, Storage::combined); // combined writes to the application
    EXPECT_EQ(data.getInteger("apart.other", Storage::defaults), 5);
    EXPECT_EQ(data.getInteger("apart.other", Storage::shared), 0);

    data.setString("xproc.app", "from-test");
    data.setString("xproc.group", "group-value", Storage::shared);
    const std::string app = plat::UserDefaults::standard()->domainName();
    EXPECT_EQ(probe("get " + app + " xproc.app"), "from-test");
    EXPECT_EQ(probe("get " + sharedContainer + " xproc.group"), "group-value");
    EXPECT_EQ(probe("get " + sharedContainer + " xproc.app"), "<none>");
    ASSERT_EQ(probe("set " + sharedContainer + " xproc.fromChild 42"), "");
    EXPECT_EQ(data.getInteger("xproc.fromChild", Storage::shared), 42); // read again after the change
    EXPECT_EQ(data.getString("xproc.group", Storage::shared), "group-value");
}

TEST(PersistentAppData, ProcessesWritingAtOnceLoseNoChange) {
    const std::string domain = sharedContainer + ".concurrent", run = SETTINGS_PROBE;
    ASSERT_EQ(std::system(
                  (run + " fill " + domain + " a 60 & " + run + " fill " + domain + " b 60 & wait").c_str()),
              0);
    EXPECT_EQ(plat::UserDefaults::suite(domain)->dictionaryRepresentation().size(), 120u);
}

TEST(PersistentAppData, FramesBecomeDictionariesAndBack) {
    const auto dict = PersistentAppData::frameToDictionary(plat::CGRect(10, 20, -30, 40));
    EXPECT_EQ(dict,
              (plat::plist::Dictionary{{"left", -20.0}, {"top", 20.0}, {"width", 30.0}, {"height", 40.0}}));
    auto& shared = PersistentAppData::sharedInstance();
    shared.setObject("frame.partial", plat::plist::Value(plat::plist::Dictionary{{"width", 300.0f}}));
    EXPECT_EQ(PersistentAppData::dictionaryToFrame("frame.partial"), plat::CGRect(0, 0, 300, 100));
    shared.setObject("frame.full", plat::plist::Value(dict));
    EXPECT_EQ(PersistentAppData::dictionaryToFrame("frame.full"), plat::CGRect(-20, 20, 30, 40));
    shared.setString("frame.text", "not a frame");
    EXPECT_FALSE(PersistentAppData::dictionaryToFrame("frame.text") ||
                 PersistentAppData::dictionaryToFrame("frame.none"));
}

TEST(PersistentAppData, AnUnusableGroupNameIsReportedAndKeptInMemory) {
    ConsoleCapture out;
    PersistentAppData data("../escape/attempt");
    EXPECT_EQ(out.count("PersistentAppData::init() : ERROR:"), 1u);
    data.setString("mem.key", "kept", Storage::shared);
    EXPECT_EQ(data.getString("mem.key", Storage::combined), "kept");
    EXPECT_FALSE(data.getString("mem.key", Storage::defaults).has_value());
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / ".." / "escape"));
}

TEST(PersistentAppData, DumpoutListsEveryStoreInOrder) {
    PersistentAppData data;
    data.setInteger("dump.app", 11);
    data.setInteger("dump.group", 12, Storage::shared);
    ConsoleCapture out;
    data.dumpout();
    const std::string text = out.text();
    const auto standard = text.find("PersistentAppData::dumpout() : UserDefaults.standard : \n");
    const auto shared = text.find("PersistentAppData::dumpout() : UserDefaults.shared : \n", standard);
    const auto combined = text.find("PersistentAppData::dumpout() : UserDefaults.combined : \n", shared);
    ASSERT_NE(combined, std::string::npos);
    EXPECT_LT(text.find("dump.app = 11 \n\n"), shared);
    EXPECT_GT(text.find("dump.group = 12 \n\n"), shared);
    EXPECT_NE(text.find("dump.group = 12 \n\n", combined), std::string::npos);
}
