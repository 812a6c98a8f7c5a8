#include "plat/defaults.h"
#include "plat/files.h"
#include "plat/image.h"
#include "plat/net.h"
#include "plat/plist.h"
#include "plat/url.h"

#include "ChildProcess.h"
#include "FixedAnswer.h"
#include "ScratchFolder.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

TEST(URL, ParsesAbsoluteURLsIntoTheirParts) {
    const auto url = plat::URL::string("HTTP://user@Example.org:8080/a/b%20c.png?x=1#top");
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->scheme(), "http");
    EXPECT_EQ(url->host(), "Example.org");
    EXPECT_EQ(url->port(), 8080);
    EXPECT_EQ(url->path(), "/a/b c.png");
    EXPECT_EQ(url->query(), "x=1");
    EXPECT_EQ(url->fragment(), "top");
    EXPECT_EQ(url->lastPathComponent(), "b c.png");
    EXPECT_EQ(url->pathExtension(), "png");
    EXPECT_TRUE(plat::URL::string("http://[::1]:80/")->host() == "::1");
}

TEST(URL, RefusesMalformedText) {
    for (const char* bad : {"", "no scheme", "relative/path", "http://exa mple.org/", "http://host:99999/",
                            "http://host:/x", "http:no-authority", "1http://x/", "http://bad%zzescape/",
                            "http://x/\xc3\xa4", "http://x/<tag>", "http://", "http://[::1/"})
        EXPECT_FALSE(plat::URL::string(bad).has_value()) << bad;
}

TEST(URL, FileURLsEscapeAndAppend) {
    const auto url = plat::URL::fileURL("/tmp/with space/file.plist");
    EXPECT_TRUE(url.isFileURL());
    EXPECT_EQ(url.absoluteString(), "file:///tmp/with%20space/file.plist");
    EXPECT_EQ(url.path(), "/tmp/with space/file.plist");
    EXPECT_EQ(url.deletingLastPathComponent().appendingPathComponent("other name").path(),
              "/tmp/with space/other name");
    EXPECT_EQ(url.deletingLastPathComponent().path(), "/tmp/with space");
    EXPECT_EQ(
        plat::URL::fileURL("/a/b", true).appendingPathComponent("c").appendingPathExtension("m4a").path(),
        "/a/b/c.m4a");
    EXPECT_EQ(plat::URL::string(url.absoluteString()), url);
}

TEST(FileManager, CreatesListsAndRemovesFolders) {
    auto& fm = plat::FileManager::defaultManager();
    const fs::path root = fs::temp_directory_path() / ("files-test-" + std::to_string(::getpid()));
    ASSERT_TRUE(fm.createDirectory(root / "x" / "y", true).ok());
    EXPECT_FALSE(fm.createDirectory(root / "p" / "q", false).ok());
    std::ofstream(root / "b.txt") << "b";
    std::ofstream(root / "a.txt") << "a";
    std::ofstream(root / ".hidden") << "h";
    const auto names = fm.contentsOfDirectory(root);
    ASSERT_TRUE(names.ok());
    EXPECT_EQ(*names, (std::vector<std::string>{"a.txt", "b.txt", "x"}));
    bool isDir = true;
    EXPECT_TRUE(fm.fileExists(root / "a.txt", isDir));
    EXPECT_FALSE(isDir);
    EXPECT_FALSE(fm.createDirectory(root / "a.txt", true).ok()); // a file is in the way
    EXPECT_FALSE(fm.contentsOfDirectory(root / "missing").ok());
    EXPECT_TRUE(fm.removeItem(root).ok());
    EXPECT_FALSE(fm.fileExists(root));
}

// Every writer replaces its file whole and keeps its mode. A save killed mid-write leaves its
// temporary; the next save into the folder removes it, and nothing else: not what a live writer
// holds, nor anything young, nor a file of another name, nor a user's file of any name.
TEST(AtomicFile, SavesKeepTheModeAndRemoveOnlyTemporariesLeftByDeadWriters) {
    ScratchFolder dir;
    // What a writer that died mid-save leaves, under another name when one is given.
    const auto leftBy = [&](const std::string& target, const std::string& renamed = {}) {
        auto file = plat::AtomicFile::create(dir.path() / target);
        const fs::path left = file->temporaryPath();
        file->keep();
        if (renamed.empty()) return left.filename().string();
        fs::rename(left, dir.path() / renamed);
        return renamed;
    };
    // A save that finished, moved to a temporary's name: no mark of an unfinished save is left on it.
    const auto savedAs = [&](const std::string& target, const std::string& renamed) {
        EXPECT_TRUE(plat::writeFileAtomically(dir.path() / target, "saved").ok());
        fs::rename(dir.path() / target, dir.path() / renamed);
        return renamed;
    };
    auto live = plat::AtomicFile::create(dir.path() / "other.plist");
    const struct {
        const char* fault;
        std::string name;
        bool old, removed;
    } cases[] = {
        {"a dead writer's temporary kept", leftBy("state.plist"), true, true},
        {"a shortened temporary of a long name kept", leftBy(std::string(250, 'n')), true, true},
        {"a live writer's temporary removed", fs::path(live->temporaryPath()).filename().string(), true,
         false},
        {"a young temporary removed", leftBy("fresh.plist"), false, false},
        {"a marked file under another program's name removed", leftBy("a.plist", ".state.plist.backup"), true,
         false},
        {"a name without the leading dot removed", leftBy("b.plist", "state.plist.unfinished-save-abc123"),
         true, false},
        {"a name with a longer random part removed",
         leftBy("c.plist", ".state.plist.unfinished-save-abc1234"), true, false},
        {"a user's file of an older build's pattern removed", ".thesis.partial-draft1", true, false},
        {"a user's file named as a temporary removed", ".notes.txt.unfinished-save-backup", true, false},
        {"a finished save left marked as unfinished", savedAs("d.plist", ".d.plist.unfinished-save-abc123"),
         true, false},
    };
    for (const auto& c : cases) {
        const fs::path file = dir.path() / c.name;
        if (!fs::exists(file)) writeText(file, "partial");
        if (c.old) fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    using Writer = std::function<bool(const fs::path&)>;
    const std::pair<const char*, Writer> writers[] = {
        {"state.plist",
         [](const fs::path& f) { return plat::plist::writeFile(f, plat::plist::Value(1)).ok(); }},
        {"image.png", [](const fs::path& f) { return plat::ImageSurface(2, 2).writePNG(f.string()); }},
    };
    for (const auto& [name, write] : writers) {
        const fs::path file = dir.path() / name;
        ASSERT_EQ(::mknod(file.c_str(), S_IFREG | 0640, 0), 0);
        ASSERT_TRUE(write(file)) << name;
        EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640)) << name;
    }
    for (const auto& c : cases) EXPECT_EQ(!fs::exists(dir.path() / c.name), c.removed) << c.fault;
}

// A save replaces a regular file or writes through a link to one; anything else stays as it is. A
// pipe stands for a device: with a fault back, a link to /dev/null would lose /dev/null itself.
TEST(AtomicFile, SavesReplaceOnlyRegularFiles) {
    ScratchFolder dir;
    const struct {
        const char* fault;
        std::string name;
        mode_t made;                    // what is there before: a node of this mode, if any,
        const char* linkTo;             // or a link
        std::optional<fs::perms> saved; // none: refused
    } cases[] = {
        {"set-id and sticky bits carried over", "setid.plist", S_IFREG | 07755, nullptr, fs::perms(0755)},
        {"a file its owner can neither read nor write saved alike", "closed.plist", S_IFREG | 0044, nullptr,
         fs::perms(0644)},
        {"a link replaced, not written through", "link.plist", 0, "setid.plist", fs::perms(0755)},
        {"a pipe replaced by a file", "pipe.plist", S_IFIFO | 0600, nullptr, std::nullopt},
        {"a link to a device replaced by a file", "device.plist", 0, "pipe.plist", std::nullopt},
        {"a long name left no room for its temporary", std::string(250, 'n'), 0, nullptr, fs::perms(0644)},
        {"a link to a file not made yet replaced by a file", "new.plist", 0, "made.plist", fs::perms(0644)},
        {"a link into a missing folder replaced by a file", "nowhere.plist", 0, "missing/a.plist",
         std::nullopt},
        {"a loop of links replaced by a file", "loop.plist", 0, "loop.plist", std::nullopt},
        // A save left under such a name is removed by the next save into its folder.
        {"a file named as an unfinished save made", ".kept.unfinished-save-abc123", 0, nullptr, std::nullopt},
        {"a link to a name of an unfinished save written through", "kept.plist", 0,
         ".kept.unfinished-save-xyz789", std::nullopt},
    };
    for (const auto& c : cases) {
        const fs::path file = dir.path() / c.name;
        ASSERT_TRUE(!c.made || ::mknod(file.c_str(), c.made, 0) == 0);
        if (c.linkTo) fs::create_symlink(c.linkTo, file);
        EXPECT_EQ(plat::writeFileAtomically(file, "new").ok(), c.saved.has_value()) << c.fault;
        EXPECT_EQ(fs::is_symlink(file), c.linkTo != nullptr) << c.fault;
        std::error_code ec;
        EXPECT_EQ(fs::status(file, ec).permissions(), c.saved.value_or(fs::status(file, ec).permissions()))
            << c.fault;
    }
    EXPECT_EQ(readText(dir.path() / "made.plist"), "new") << "the file a link names was not made";
}

// A save puts in place only the file it wrote: another made under its temporary's name meanwhile
// is neither put in place nor removed.
TEST(AtomicFile, ACommitPutsInPlaceOnlyTheFileItWrote) {
    ScratchFolder dir;
    const fs::path target = dir.path() / "state.plist";
    writeText(target, "old");
    fs::path temporary;
    {
        auto file = plat::AtomicFile::create(target);
        ASSERT_TRUE(file.ok());
        temporary = file->temporaryPath();
        fs::remove(temporary);
        writeText(temporary, "another file");
        EXPECT_FALSE(file->commit().ok());
    }
    EXPECT_EQ(readText(target), "old");
    EXPECT_EQ(readText(temporary), "another file");
}

// A write that fails midway (here the file-size limit, as on a full disk: the first write is cut
// short, the next refused) fails the save, and the file it was to replace keeps its content: a
// preset, a setting, a screenshot, raw bytes. The saves run in a child process that has the limit.
TEST(AtomicFile, AWriteThatFailsMidwayFailsTheSaveAndKeepsTheOldFile) {
    ScratchFolder dir;
    const char* previousConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = previousConfig ? previousConfig : "";
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    const auto settings = plat::UserDefaults::suite("atomic.failing.settings");
    ASSERT_TRUE(settings);
    settings->set("kept", plat::plist::Value(1));
    const fs::path preset = dir.path() / "preset.plist", shot = dir.path() / "shot.png",
                   raw = dir.path() / "raw.bin", settingsFile = dir.path() / "atomic.failing.settings.plist";
    ASSERT_TRUE(plat::plist::writeFile(preset, plat::plist::Value("the good preset")).ok());
    writeText(shot, "the previous screenshot");
    writeText(raw, "old");
    const auto before = [&] {
        std::vector<std::string> all;
        for (const auto& f : {preset, shot, raw, settingsFile}) {
            std::ifstream in(f);
            all.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return all;
    };
    const auto old = before();
    ASSERT_FALSE(old[3].empty());

    const struct {
        const char* fault;
        std::function<bool()> save; // whether it reports success
    } saves[] = {
        {"a preset save reports success",
         [&] { return plat::plist::writeFile(preset, plat::plist::Value(std::string(4000, 'p'))).ok(); }},
        {"a screenshot save reports success",
         [&] { return plat::ImageSurface(300, 200).writePNG(shot.string()); }},
        {"a raw save reports success",
         [&] { return plat::writeFileAtomically(raw, std::string(4000, 'r')).ok(); }},
        {"a setting's file replaced by a cut-off one",
         [&] { return settings->set("big", plat::plist::Value(std::string(4000, 's'))), false; }},
    };
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG instead
        int succeeded = 0;
        for (std::size_t i = 0; i < std::size(saves); ++i)
            if (saves[i].save()) succeeded |= 1 << i;
        std::_Exit(succeeded);
    }
    const int status = waitForChild(pid, "the process saving under a file-size limit");
    ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    if (restore.empty()) ::unsetenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(WIFEXITED(status)) << status;
    const auto now = before();
    for (std::size_t i = 0; i < std::size(saves); ++i) {
        EXPECT_FALSE(WEXITSTATUS(status) & (1 << i)) << saves[i].fault;
        EXPECT_EQ(now[i], old[i]) << saves[i].fault << ": the old file was replaced";
    }
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string()[0], '.')
            << "a failed save left its temporary: " << entry.path();
}

TEST(FileManager, StandardFoldersFollowTheXDGVariables) {
    ::setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    ::setenv("XDG_DOCUMENTS_DIR", "/somewhere/docs", 1);
    auto& fm = plat::FileManager::defaultManager();
    EXPECT_EQ(fm.urls(plat::FileManager::SearchPathDirectory::config).at(0).path(), "/somewhere/config");
    EXPECT_EQ(fm.urls(plat::FileManager::SearchPathDirectory::documents).at(0).path(), "/somewhere/docs");
    ::unsetenv("XDG_DOCUMENTS_DIR");
    ::setenv("HOME", "/home/tester", 1);
    EXPECT_EQ(fm.urls(plat::FileManager::SearchPathDirectory::documents).at(0).path(),
              "/home/tester/Documents");
}

TEST(Bundle, ResolvesFromItsBinaryWithResourcesAndIdentifier) {
    const fs::path root =
        fs::temp_directory_path() / ("bundle-test-" + std::to_string(::getpid())) / "Demo.app";
    fs::create_directories(root / "bin");
    fs::create_directories(root / "Resources");
    std::ofstream(root / "bin" / "Demo") << "";
    std::ofstream(root / "Info.plist") << plat::plist::toXML(
        plat::plist::Value(plat::plist::Dictionary{{"CFBundleIdentifier", "com.example.demo"}}));
    const auto bundle = plat::Bundle::forBinary(root / "bin" / "Demo");
    EXPECT_EQ(bundle.bundleURL().path(), root.string());
    EXPECT_EQ(bundle.resourceURL()->path(), (root / "Resources").string());
    EXPECT_EQ(bundle.bundleIdentifier(), "com.example.demo");

    fs::remove_all(root / "Resources");
    fs::remove(root / "Info.plist");
    const auto bare = plat::Bundle::forBinary(root / "bin" / "Demo");
    EXPECT_FALSE(bare.resourceURL().has_value());
    EXPECT_EQ(bare.bundleIdentifier(), "Demo");
    fs::remove_all(root.parent_path());
}

TEST(LoadData, ReadsFilesAndRefusesOtherSchemes) {
    const fs::path file = fs::temp_directory_path() / ("load-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(file) << "payload";
    const auto ok = plat::loadDataSynchronously({plat::URL::fileURL(file)});
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(std::string(ok->data.begin(), ok->data.end()), "payload");
    const auto tooBig = plat::loadDataSynchronously({plat::URL::fileURL(file), 60, 3});
    EXPECT_FALSE(tooBig.ok());
    fs::remove(file);
    EXPECT_FALSE(plat::loadDataSynchronously({plat::URL::fileURL(file)}).ok());
    const auto ftp = plat::loadDataSynchronously({*plat::URL::string("ftp://127.0.0.1/x")});
    ASSERT_FALSE(ftp.ok());
    EXPECT_EQ(ftp.error().code, -1002);
}

// A body may hold exactly the request's maximum, from a file or over HTTP; one byte more is refused
// as too large. The body spans many of the network library's deliveries.
TEST(LoadData, ABodyOfTheMaximumIsTakenAndOneByteMoreRefused) {
    ScratchFolder dir;
    const std::string body(100'000, 'b');
    writeText(dir.path() / "body", body);
    const FixedAnswer server("200 OK", body);
    const std::string file = plat::URL::fileURL(dir.path() / "body").absoluteString();
    const struct {
        const char* fault;
        std::string url;
        std::size_t maximum;
    } cases[] = {
        {"a file of the maximum refused", file, body.size()},
        {"a file past the maximum taken", file, body.size() - 1},
        {"an HTTP body of the maximum refused", server.url(), body.size()},
        {"an HTTP body past the maximum taken", server.url(), body.size() - 1},
    };
    for (const auto& c : cases) {
        const auto loaded = plat::loadDataSynchronously({*plat::URL::string(c.url), 30, c.maximum});
        const bool taken = c.maximum == body.size();
        ASSERT_EQ(loaded.ok(), taken) << c.fault << (loaded.ok() ? "" : ": " + loaded.error().description);
        if (taken)
            EXPECT_EQ(loaded->data.size(), body.size()) << c.fault;
        else
            EXPECT_EQ(loaded.error().code, -1103) << c.fault;
    }
}
