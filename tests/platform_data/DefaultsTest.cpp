#include "plat/defaults.h"
#include "ChildProcess.h"
#include "CommaLocale.h"
#include "ConsoleCapture.h"
#include "PlistDocuments.h"
#include "plat/console.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A settings file's folder may hold anything: its line shows the error's own copy of the path, the
// system's reason and a library's message, each escaped once.
TEST_F(Defaults, AnUnreadableFileIsReportedEscapedOnceWithItsReason) {
    const fs::path folder = root / "conf\x1b[31m";
    fs::create_directory(folder);
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    const struct {
        const char* fault;
        const char* content; // none: a socket, which no reader opens, root included
        std::size_t paths;   // the line's and the error's
        const char* line;
        const char* linkTo = nullptr; // a link to this instead ("" for itself)
        const char* onSave = nullptr; // what a save then says
    } cases[] = {
        {"a socket told by the reason it cannot be opened, or its path raw", nullptr, 2,
         ".plist\u201d is not a regular file.\n"},
        {"the reader's message escaped twice", "<plist><string>caf\xE9</string></plist>", 1,
         ": line 1: Input is not proper UTF-8, indicate encoding !\\x0aBytes: 0xE9"},
        {"a link to itself taken for no file, silently", nullptr, 2,
         ".plist\u201d couldn\u2019t be opened: Too many levels of symbolic links.\n", ""},
        {"no reason why a file that opens cannot be read", nullptr, 2,
         ".plist\u201d couldn\u2019t be read: Invalid argument.\n", "/sys/class/net/lo/speed"},
        {"a file whose size tells none of its content read as empty, or its copy not named", nullptr, 2,
         ".plist\u201d couldn\u2019t be read: Input/output error.\n", "/proc/self/mem",
         "could be kept: \u201c/proc/"},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(cases[k].fault);
        const std::string name = "r" + std::to_string(k) + domain.substr(domain.rfind('.'));
        const fs::path file = folder / (name + ".plist");
        if (const char* to = cases[k].linkTo)
            fs::create_symlink(*to ? fs::path(to) : file.filename(), file);
        else if (cases[k].content)
            std::ofstream(file) << cases[k].content;
        else
            ASSERT_EQ(::mknod(file.c_str(), S_IFSOCK | 0600, 0), 0);
        ConsoleCapture console;
        plat::UserDefaults::suite(name)->integer("x");
        const std::string text = console.text();
        EXPECT_EQ(console.count(plat::shownText(file.string())), cases[k].paths) << text;
        EXPECT_NE(text.find(cases[k].line), std::string::npos) << text;
        EXPECT_EQ(text.find_first_of("\x1b\n"), text.size() - 1) << text;
        if (!cases[k].onSave) continue;
        ConsoleCapture saving;
        plat::UserDefaults::suite(name)->set("x", 1);
        EXPECT_NE(saving.text().find(cases[k].onSave), std::string::npos) << saving.text();
    }
    ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
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

// A value the file cannot carry, or one that would make the reader refuse the whole file, is refused
// when it is set: the file and every other key stay, nothing refused lingers to fail later saves,
// and the line shows the offending text escaped once.
TEST_F(Defaults, AValueTheReaderWouldRefuseIsRefusedWhenSetAndTheDomainStays) {
    using plat::plist::Array;
    using plat::plist::Value;
    Value deep = 1; // 63 arrays in the domain's dictionary: 65 levels with the integer
    for (int i = 0; i < 63; ++i) deep = Array{deep};
    const struct {
        const char* fault;
        std::string key;
        Value value;
        std::string line;
    } cases[] = {
        {"a file beyond the reader's size written", "big", std::string(17 << 20, 'x'),
         "The property list is larger than 16777216 bytes. The change to \"big\" is not kept."},
        {"nesting beyond the reader's depth written", "deep", deep,
         "The property list is nested deeper than 64 levels. The change to \"deep\" is not kept."},
        {"a refused text kept in place of the old value", "kept", "a\x1b[2J",
         "the string \u201ca\\x1b[2J\u201d holds the control character \u201c\\x1b\u201d. The change to "
         "\"kept\" is not kept."},
        {"a refused key kept, its line escaped twice", "a\x1b", 2,
         ": The property list cannot be written as XML: the key \u201ca\\x1b\u201d holds the control "
         "character "
         "\u201c\\x1b\u201d. The change to \"a\\x1b\" is not kept.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        const auto store = plat::UserDefaults::suite(domain + "." + c.key.substr(0, 1));
        store->set("kept", 1);
        ConsoleCapture console;
        store->set(c.key, c.value);
        EXPECT_NE(console.text().find("UserDefaults: could not save settings of domain " +
                                      store->domainName() + ": "),
                  std::string::npos);
        EXPECT_NE(console.text().find(c.line), std::string::npos) << console.text().substr(0, 400);
        EXPECT_EQ(store->object(c.key), c.key == "kept" ? std::optional<Value>(1) : std::nullopt);
        store->set("after", c.fault); // a later change is saved
        EXPECT_EQ(console.count("could not save"), 1u);
        const auto onDisk = plat::plist::readFile(fileOf(store->domainName()));
        EXPECT_EQ(onDisk.ok() ? *onDisk : Value(onDisk.error().description),
                  Value(plat::plist::Dictionary{{"kept", 1}, {"after", c.fault}}));
    }
}

// A settings file the reader refuses holds keys this process never saw: the save that replaces it
// first keeps it beside it, under a name no earlier copy has, and says where.
TEST_F(Defaults, AnUnreadableFileIsKeptBesideItBeforeASaveReplacesIt) {
    const auto contentOf = [](const fs::path& file) {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const struct {
        const char* fault;
        std::string content;
        const char* copy; // beside the file
    } cases[] = {
        {"a malformed file replaced", "<plist><dict><key>oops", ".unreadable"},
        {"a file nested beyond the reader's depth replaced", nestedXML(70), ".unreadable"},
        {"a top level that is not a dictionary replaced",
         "<plist><array><integer>1</integer></array></plist>", ".unreadable"},
        {"an earlier copy overwritten", "<plist><dict><key>second</key><oops/></dict></plist>",
         ".unreadable-2"},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& c = cases[k];
        SCOPED_TRACE(c.fault);
        // A domain this process has not read yet, as a process starting on the broken file; the last
        // case breaks the first one's file again.
        const std::string name = domain + "." + std::to_string(k + 1 < std::size(cases) ? k : 0);
        const fs::path file = fileOf(name), copy = file.string() + c.copy;
        std::ofstream(file) << c.content;
        ConsoleCapture console;
        const auto store = plat::UserDefaults::suite(name);
        store->set("new", int(k));
        EXPECT_EQ(console.count("UserDefaults: the unreadable settings file " + file.string() +
                                " is kept as " + copy.string() + "\n"),
                  1u)
            << console.text();
        EXPECT_EQ(contentOf(copy), c.content);
        EXPECT_EQ(store->integer("new"), int(k));
        const auto onDisk = plat::plist::readFile(file);
        const auto* saved = onDisk.ok() ? onDisk->asDictionary() : nullptr;
        EXPECT_TRUE(saved && saved->find("new") && saved->find("new")->asInteger() == int(k));
        store->set("again", 1); // the file is readable now: no further copy
        EXPECT_EQ(console.count("is kept as"), 1u);
    }
    EXPECT_EQ(contentOf(fileOf(domain + ".0").string() + ".unreadable"), cases[0].content);
}

// A settings file made unreadable to its owner is kept aside once, and what is saved in its place
// reads back. Each step is a process of its own, run as a user held to file modes (root reads any
// file), so every read comes from the file.
TEST_F(Defaults, WhatIsSavedOverAFileItsOwnerCannotReadReadsBackInTheNextProcess) {
    constexpr uid_t kNobody = 65534;
    ASSERT_TRUE(::geteuid() != 0 || ::chown(root.c_str(), kNobody, kNobody) == 0);
    const auto inNewProcess = [](const std::function<bool()>& step) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
                std::_Exit(2);
            std::_Exit(step() ? 0 : 1);
        }
        const int status = waitForChild(pid, "a process of its own for one step");
        return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    const fs::path file = fileOf(domain);
    const auto suite = [&] { return plat::UserDefaults::suite(domain); };
    ASSERT_EQ(inNewProcess([&] { return suite()->set("before", 1), true; }), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    EXPECT_EQ(inNewProcess([&] { return suite()->set("after", 2), true; }), 0);
    EXPECT_EQ(inNewProcess([&] {
                  const bool read = suite()->integer("after") == 2;
                  suite()->set("again", 3);
                  return read;
              }),
              0)
        << "the file saved over one its owner could not read cannot be read either";
    EXPECT_EQ(inNewProcess([&] { return suite()->integer("again") == 3; }), 0);
    EXPECT_TRUE(fs::exists(file.string() + ".unreadable"));
    EXPECT_FALSE(fs::exists(file.string() + ".unreadable-2")) << "a copy kept on every save";
}
