#include "plat/defaults.h"
#include "CommaLocale.h"
#include "ConsoleCapture.h"
#include "plat/console.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

class Defaults : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "defaults-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        root = tmpl;
        ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
        // Domains are shared per process and keep the folder they were opened in: every test
        // (and every repetition) uses names of its own.
        static int run = 0;
        domain = std::string("test.") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                 "." + std::to_string(++run);
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path fileOf(const std::string& name) const { return root / (name + ".plist"); }

    fs::path root;
    std::string domain;
};

} // namespace

TEST_F(Defaults, ChangesAreWrittenThroughToTheDomainFile) {
    auto store = plat::UserDefaults::suite(domain);
    ASSERT_TRUE(store);
    store->set("volume", 0.75);
    store->set("name", "Sorvane");
    const auto onDisk = plat::plist::readFile(fileOf(domain));
    ASSERT_TRUE(onDisk.ok());
    EXPECT_EQ(*onDisk->asDictionary()->find("volume")->asReal(), 0.75);
    store->removeObject("volume");
    EXPECT_FALSE(plat::plist::readFile(fileOf(domain))->asDictionary()->contains("volume"));
    EXPECT_EQ(plat::UserDefaults::suite(domain)->string("name"), "Sorvane");
}

TEST_F(Defaults, NumbersReadAndPrintWithAPointUnderACommaLocale) {
    const CommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no comma-decimal locale can be made here";
    ConsoleCapture console;
    auto store = plat::UserDefaults::suite(domain);
    store->set("text", "1.5");
    store->set("real", 0.25);
    EXPECT_EQ(store->doubleValue("text"), 1.5);
    EXPECT_EQ(store->string("real"), "0.25");
    const auto onDisk = plat::plist::readFile(fileOf(domain)); // the store reads its file the same way
    ASSERT_TRUE(onDisk.ok());
    EXPECT_EQ(*onDisk->asDictionary()->find("real")->asReal(), 0.25);
    EXPECT_EQ(plat::plist::Value(0.25).description(), "0.25");
    plat::Console::shared().postFormatted("value:%f\n", 0, 0.5);
    EXPECT_EQ(console.text(), "value:0.500000\n");
}

TEST_F(Defaults, ABrokenFileIsReportedAndTheValuesKept) {
    std::string captured;
    plat::Console::shared().setSink([&](std::string_view t) { captured.append(t); });
    auto store = plat::UserDefaults::suite(domain);
    store->set("kept", 5);
    std::ofstream(fileOf(domain)) << "<plist><dict><key>oops";
    EXPECT_EQ(store->integer("kept"), 5);
    EXPECT_EQ(store->integer("kept"), 5);
    plat::Console::shared().setSink({});
    EXPECT_NE(captured.find("UserDefaults: ignoring unreadable settings file"), std::string::npos);
    EXPECT_EQ(captured.find("ignoring", captured.find("ignoring") + 1), std::string::npos); // once
}

TEST_F(Defaults, NumbersBooleansAndURLsAreReadFromText) {
    auto store = plat::UserDefaults::suite(domain);
    store->set("n", "42");
    store->set("r", "2.5 apples");
    store->set("yes", "YES");
    store->set("true", "true");
    store->set("one", "1");
    store->set("no", "no");
    store->set("path", "/tmp/a b");
    store->set("home", "~/music");
    store->set("web", "https://example.org/x");
    store->set("num", 7);
    EXPECT_EQ(store->integer("n"), 42);
    EXPECT_DOUBLE_EQ(store->doubleValue("r"), 2.5);
    EXPECT_EQ(store->integer("r"), 2);
    EXPECT_TRUE(store->boolValue("yes"));
    EXPECT_TRUE(store->boolValue("true"));
    EXPECT_TRUE(store->boolValue("one"));
    EXPECT_FALSE(store->boolValue("no"));
    EXPECT_TRUE(store->boolValue("num"));
    EXPECT_EQ(store->string("num"), "7");
    EXPECT_EQ(store->url("path")->absoluteString(), "file:///tmp/a%20b");
    ::setenv("HOME", "/home/tester", 1);
    EXPECT_EQ(store->url("home")->path(), "/home/tester/music");
    EXPECT_EQ(store->url("web")->host(), "example.org");
    EXPECT_FALSE(store->url("num").has_value());
    EXPECT_EQ(store->integer("missing"), 0);
    EXPECT_FALSE(store->string("missing").has_value());
}

TEST_F(Defaults, SuiteNamesMustBeFileNames) {
    for (const char* bad : {"", "a/b", "../up", ".hidden", "with space", "tab\tname", "ünï"})
        EXPECT_EQ(plat::UserDefaults::suite(bad), nullptr) << bad;
    EXPECT_NE(plat::UserDefaults::suite("group.KWOB.YUX-Sorvane_2"), nullptr);
}

TEST_F(Defaults, InMemoryStoresWriteNoFile) {
    auto memory = plat::UserDefaults::inMemory("scratch");
    memory->set("a", 1);
    EXPECT_EQ(memory->integer("a"), 1);
    EXPECT_TRUE(fs::is_empty(root));
}

TEST_F(Defaults, ConcurrentWritersLoseNothing) {
    auto store = plat::UserDefaults::suite(domain);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&, t] {
            auto own = plat::UserDefaults::suite(domain);
            for (int i = 0; i < 25; ++i) {
                std::string key = "k";
                key += std::to_string(t);
                key += '_';
                key += std::to_string(i);
                own->set(key, i);
            }
        });
    for (auto& w : writers) w.join();
    const auto onDisk = plat::plist::readFile(fileOf(domain));
    ASSERT_TRUE(onDisk.ok());
    EXPECT_EQ(onDisk->asDictionary()->size(), 100u);
    EXPECT_EQ(store->integer("k3_24"), 24);
}
