#include "plat/files.h"
#include "plat/image.h"
#include "plat/net.h"
#include "plat/url.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

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

TEST(AtomicFile, EveryWriterKeepsTheModeOfTheFileItReplaces) {
    const fs::path root = fs::temp_directory_path() / ("atomic-test-" + std::to_string(::getpid()));
    fs::create_directories(root);
    using Writer = std::function<bool(const fs::path&)>;
    const std::pair<const char*, Writer> writers[] = {
        {"property list",
         [](const fs::path& f) { return plat::plist::writeFile(f, plat::plist::Value(1)).ok(); }},
        {"image", [](const fs::path& f) { return plat::ImageSurface(2, 2).writePNG(f.string()); }},
    };
    for (const auto& [what, write] : writers) {
        const fs::path file = root / what;
        ASSERT_TRUE(write(file)) << what;
        EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644)) << what;
        fs::permissions(file, fs::perms(0640));
        ASSERT_TRUE(write(file)) << what;
        EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640)) << what;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2);
    fs::remove_all(root);
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

TEST(Bundle, MainAndModuleBundlesComeFromTheRunningBinaries) {
    const auto& main = plat::Bundle::main();
    EXPECT_EQ(main.executableURL().lastPathComponent(), "platform_data_tests");
    static int here = 0;
    const auto mine = plat::Bundle::containing(&here);
    ASSERT_TRUE(mine.has_value());
    EXPECT_EQ(mine->executableURL(), main.executableURL());
    const auto library = plat::Bundle::containing(reinterpret_cast<const void*>(&plat::globallyUniqueString));
    ASSERT_TRUE(library.has_value());
    EXPECT_NE(library->executableURL().lastPathComponent().find("libplat"), std::string::npos);
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
