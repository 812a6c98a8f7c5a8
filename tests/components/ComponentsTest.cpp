// The component registry against a fixture plug-in in bundles made here. The real plug-in is
// found through its record by the application's tests.

#include "ConsoleCapture.h"
#include "HeldToFileModes.h"
#include "PlistDocuments.h"
#include "ScratchFolder.h"

#include "plat/components.h"
#include "plat/dispatch.h"
#include "plat/files.h"
#include "plat/image.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <elf.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
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

// A bundle in `folder` with a copy of the fixture library as lib/fixture.so and `record` as its
// Info.plist.
fs::path makeBundle(const fs::path& folder, const std::string& name, const Dictionary& record,
                    const char* library = FIXTURE_LIBRARY) {
    fs::create_directories(folder / name / "lib");
    fs::copy_file(library, folder / name / "lib/fixture.so");
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

// What the registry delivers; an error, and the test failed, when it delivers nothing within a
// generous wait.
template <class Start>
Delivered awaitDelivery(Start start) {
    // Shared with the callback, which may still come after the wait has given up.
    auto delivered = std::make_shared<std::promise<Delivered>>();
    auto delivery = delivered->get_future();
    start([delivered](plat::Result<std::shared_ptr<plat::AUAudioUnit>> unit) {
        delivered->set_value({std::move(unit), std::this_thread::get_id()});
    });
    if (delivery.wait_for(std::chrono::seconds(60)) == std::future_status::ready) return delivery.get();
    ADD_FAILURE() << "the registry delivered no audio unit within 60 s";
    return {plat::Error{"test", 0, "nothing delivered"}, {}};
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

TEST(ComponentRegistry, SkipsEachMalformedBundleWithAMessage) {
    enum Spoil { none, noRecord, record, cutLibrary, linkLibraryOut, loopRecord, loopLibrary, closedLibrary };
    const struct {
        const char* fault;
        const char* key; // set to `value` in a valid record, or erased without one
        std::optional<plat::plist::Value> value;
        const char* message;
        Spoil spoil = none;
        std::string text = {}; // the record, for `record`
    } cases[] = {
        {"missing key", "entry", {}, "the record has no \u201centry\u201d"},
        {"key of the wrong type", "abiVersion", "1", "the record's \u201cabiVersion\u201d is not an integer"},
        {"code with a control byte", "subtype", "yu\nV",
         "\u201csubtype\u201d must be four printable ASCII characters, not \u201cyu\\x0aV\u201d"},
        {"library missing", "library", "lib/none.so", "names a library that is not there"},
        {"library outside the bundle", "library", "../fixture.so",
         "must be a relative path inside the bundle"},
        {"entry that is no symbol", "entry", "Fixture Entry", "\u201centry\u201d must be a C identifier"},
        {"ABI mismatch", "abiVersion", 2,
         "the record is for plug-in ABI version 2; this host loads version 1"},
        {"flags out of range", "flags", -1, "\u201cflags\u201d must be from 0 to 4294967295"},
        {"malformed version", "version", "1.x", "\u201cversion\u201d must be major[.minor[.bugfix]]"},
        {"no record", nullptr, {}, "it has no registration record (Info.plist)", noRecord},
        {"record that is no property list",
         nullptr,
         {},
         "Info.plist is not a property list",
         record,
         "no plist"},
        {"record's shared values copied without a budget",
         nullptr,
         {},
         "would take more than 1048576 bytes once read",
         record,
         expansionBomb(3, 1000)},
        {"library cut short loaded", nullptr, {}, "is cut short", cutLibrary},
        {"lib folder linked out of the bundle followed",
         nullptr,
         {},
         "lies outside the bundle",
         linkLibraryOut},
        {"a record that links to itself taken for none",
         nullptr,
         {},
         "couldn\u2019t be opened: Too many levels of symbolic links",
         loopRecord},
        {"a library that links to itself said not to be there",
         nullptr,
         {},
         "fixture.so cannot be read: Too many levels of symbolic links",
         loopLibrary},
        {"a library its owner may not read taken for no ELF file",
         nullptr,
         {},
         "fixture.so cannot be read: Permission denied",
         closedLibrary},
    };
    ScratchFolder folder, outside;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        Dictionary record = fixtureRecord();
        if (c.key) c.value ? record.set(c.key, *c.value) : (void)record.erase(c.key);
        const fs::path bundle = makeBundle(folder.path(), "case" + std::to_string(i) + ".appex", record);
        if (c.spoil == noRecord) fs::remove(bundle / "Info.plist");
        if (c.spoil == Spoil::record) writeText(bundle / "Info.plist", c.text);
        if (c.spoil == cutLibrary) fs::resize_file(bundle / "lib/fixture.so", 4096);
        if (c.spoil == loopRecord || c.spoil == loopLibrary) {
            const fs::path file = bundle / (c.spoil == loopRecord ? "Info.plist" : "lib/fixture.so");
            fs::remove(file);
            fs::create_symlink(file.filename(), file);
        }
        if (c.spoil == closedLibrary) fs::permissions(bundle / "lib/fixture.so", fs::perms::none);
        if (c.spoil == linkLibraryOut) {
            fs::rename(bundle / "lib", outside.path() / "lib");
            fs::create_directory_symlink(outside.path() / "lib", bundle / "lib");
        }
    }
    makeBundle(folder.path(), "valid.appex", fixtureRecord());

    ConsoleCapture console;
    const auto registry = [&] {
        HeldToFileModes asOwner;
        return AVAudioUnitComponentManager({folder.path()});
    }();
    EXPECT_EQ(bundleNames(registry), std::vector<std::string>{"valid.appex"});
    const std::string printed = console.text();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto at =
            printed.find("plat::components: skipped " +
                         (folder.path() / ("case" + std::to_string(i) + ".appex")).string() + ": ");
        const auto reason = at == std::string::npos ? "" : printed.substr(at, printed.find('\n', at) - at);
        EXPECT_NE(reason.find(cases[i].message), std::string::npos) << cases[i].fault << ": " << reason;
    }
    EXPECT_EQ(console.count("\n"), std::size(cases));
    EXPECT_EQ(console.count("Info.plist cannot be read: "), 1u)
        << "a record that cannot be read called malformed";
}

TEST(ComponentRegistry, TheFirstValidMatchInAStableOrderWinsAndIsDeliveredOffTheCallersThread) {
    ScratchFolder first, second;
    // Made out of name order: the listing must not follow the folder's own order.
    makeBundle(first.path(), "c.appex", fixtureRecord("fxSV", 3));
    makeBundle(first.path(), "a.appex", fixtureRecord("fxSV", 1, "")); // malformed
    makeBundle(first.path(), "d.appex", fixtureRecord("othr", 4));
    makeBundle(first.path(), "b.appex", fixtureRecord("fxSV", 2));
    makeBundle(second.path(), "a.appex", fixtureRecord("fxSV", 5));
    auto otherMaker = fixtureRecord("fxSV", 6); // the same codes but for its maker: another plug-in
    otherMaker.set("manufacturer", "OTHR");
    makeBundle(second.path(), "e.appex", otherMaker);

    ConsoleCapture console;
    AVAudioUnitComponentManager registry({first.path(), "/nonexistent", second.path(), first.path()});
    EXPECT_EQ(bundleNames(registry), (std::vector<std::string>{"b.appex", "d.appex", "e.appex"}));
    EXPECT_EQ(console.count("plat::components: cannot read a plug-in folder: \u201c/nonexistent\u201d"), 1u);
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
    const auto none = awaitDelivery([&](auto done) { registry.instantiate(codes("none", "", ""), done); });
    EXPECT_FALSE(none.unit.ok());
    for (const auto& delivery : {made.thread, none.thread}) EXPECT_NE(delivery, std::this_thread::get_id());

    bool delivered = false; // the view controller comes on the main queue
    made.unit.value()->requestViewController([&](auto) { delivered = plat::isMainThread(); });
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return delivered; }, std::chrono::seconds(5)));
    EXPECT_EQ(console.count("fixture: view controller asked on the main thread"), 1u);
}

TEST(ComponentRegistry, RefusesToInstantiateWhatCannotBeLoaded) {
    const struct {
        const char* fault;
        const char* subtype;
        const char* entry;
        const char* message;
        long code;                         // the factory's own error arrives unchanged
        const char* replacement = nullptr; // put in place of the library after the scan
    } cases[] = {
        {"library cut short after the scan loaded", "nlib", "FixtureEntry", "is cut short", -10875},
        {"entry symbol missing", "nsym", "NoSuchEntry", "has no entry symbol \u201cNoSuchEntry\u201d",
         -10875},
        {"entry for another ABI", "nabi", "FixtureEntryOtherABI",
         "was built for plug-in ABI version 2; this host loads version 1", -10875},
        {"factory error", "fail", "FixtureEntry", "the fixture refuses", 42},
        // Whole and inside its bundle, as every other check wants it: only a test load finds it out.
        {"library replaced after the scan loaded untested", "rplc", "FixtureEntry",
         "changed since the scan; loading it killed a test process with SIGABRT", -10875,
         FIXTURE_ABORTING_LIBRARY},
    };
    ScratchFolder folder;
    for (const auto& c : cases)
        makeBundle(folder.path(), c.subtype + std::string(".appex"), fixtureRecord(c.subtype, 0, c.entry));
    ConsoleCapture console;
    AVAudioUnitComponentManager registry({folder.path()});
    EXPECT_EQ(registry.componentsMatching({}).size(), std::size(cases));
    fs::resize_file(folder.path() / "nlib.appex/lib/fixture.so", 4096);
    for (const auto& c : cases)
        if (c.replacement) {
            const fs::path library = folder.path() / (c.subtype + std::string(".appex/lib/fixture.so"));
            fs::copy_file(c.replacement, library.string() + ".new");
            fs::rename(library.string() + ".new", library);
        }
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

// The skip line the registry printed for a bundle, or "" when there is none.
std::string skipLine(const std::string& printed, const fs::path& bundle) {
    const auto at = printed.find("plat::components: skipped " + bundle.string() + ": ");
    return at == std::string::npos ? "" : printed.substr(at, printed.find('\n', at) - at);
}

TEST(ComponentRegistry, LibrariesThatCrashOrHangWhileLoadingAreSkippedAndTheHostGoesOn) {
    ScratchFolder folder;
    // Whole in size, as an unfinished download leaves it: zeros from the middle of what the loader
    // maps (the file's second half, but for debugging sections a sanitizer build appends) to its end.
    const fs::path zeroed = makeBundle(folder.path(), "a-zeroed.appex", fixtureRecord("zero"));
    {
        std::fstream file(zeroed / "lib/fixture.so", std::ios::in | std::ios::out | std::ios::binary);
        Elf64_Ehdr header{};
        ASSERT_TRUE(file.read(reinterpret_cast<char*>(&header), sizeof header));
        std::uint64_t mapped = 0;
        for (unsigned i = 0; i < header.e_phnum; ++i) {
            Elf64_Phdr segment{};
            file.seekg(std::streamoff(header.e_phoff + i * sizeof segment));
            ASSERT_TRUE(file.read(reinterpret_cast<char*>(&segment), sizeof segment));
            if (segment.p_type == PT_LOAD) mapped = std::max(mapped, segment.p_offset + segment.p_filesz);
        }
        const auto size = fs::file_size(zeroed / "lib/fixture.so");
        ASSERT_GT(mapped, 0u);
        file.seekp(std::streamoff(mapped / 2));
        const std::string zeros(size - mapped / 2, '\0');
        file.write(zeros.data(), std::streamsize(zeros.size()));
    }
    const struct {
        const char* fault;
        const char* bundle;
        const char* subtype;
        const char* library;
        const char* message;
    } cases[] = {
        {"library that crashes the loader let through", "b-aborts", "abrt", FIXTURE_ABORTING_LIBRARY,
         "killed a test process with SIGABRT"},
        {"library that hangs let through", "c-hangs", "hang", FIXTURE_HANGING_LIBRARY,
         "busy past the 10 s given to all test loads (hung)"},
        // The test process's word counts, not its exit status, which the library's own exit chose.
        {"initialiser's exit with status 0 taken for a pass", "e-exits", "exit", FIXTURE_EXITING_LIBRARY,
         "ended a test process with exit status 0 before the library was open"},
        {"initialiser's exit with status 3 taken for a clean refusal", "f-exits3", "ext3",
         FIXTURE_EXITING3_LIBRARY, "ended a test process with exit status 3 before the library was open"},
        {"initialiser waiting on standard input tested with another input than the host's", "g-reads", "read",
         FIXTURE_READING_LIBRARY, "busy past the 10 s given to all test loads (hung)"},
    };
    for (const auto& c : cases)
        makeBundle(folder.path(), c.bundle + std::string(".appex"), fixtureRecord(c.subtype), c.library);
    makeBundle(folder.path(), "d-good.appex", fixtureRecord("good"));

    // Standard input that stays open and empty, as a terminal nobody types in.
    int input[2];
    ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
    const int savedInput = ::dup(0);
    ::dup2(input[0], 0);
    ConsoleCapture console;
    const auto started = std::chrono::steady_clock::now();
    AVAudioUnitComponentManager registry({folder.path()});
    ::dup2(savedInput, 0);
    for (const int fd : {savedInput, input[0], input[1]}) ::close(fd);
    // The hanging ones are given the whole bounded wait, and no more than a little over it.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
    EXPECT_EQ(bundleNames(registry), std::vector<std::string>{"d-good.appex"});
    const std::string printed = console.text();
    EXPECT_NE(skipLine(printed, zeroed).find("killed a test process with SIGSEGV"), std::string::npos)
        << printed;
    for (const auto& c : cases)
        EXPECT_NE(skipLine(printed, folder.path() / (c.bundle + std::string(".appex"))).find(c.message),
                  std::string::npos)
            << c.fault << "\n"
            << printed;

    const auto made = awaitDelivery([&](auto done) { registry.instantiate(codes("", "good", ""), done); });
    ASSERT_TRUE(made.unit.ok()) << made.unit.error().description;
    EXPECT_EQ(made.unit.value()->componentDescription(), codes("aumf", "good", "TEST"));
}

// Polls `condition` until it holds or `limit` has passed.
template <class Condition>
bool waitFor(Condition condition, std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition())
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return true;
}

TEST(ComponentRegistry, TestLoadsEndWithTheHost) {
    const struct {
        const char* fault;
        const char* mode; // the host exits, or stays until it is killed
    } cases[] = {
        {"test process left running when the host exits", "exit"},
        {"test process left running when the host is killed", "stay"},
    };
    // Orphans come to this process instead of the system's first one: a test process that outlived
    // its host is seen here.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    for (const auto& c : cases) {
        ScratchFolder folder;
        makeBundle(folder.path(), "hangs.appex", fixtureRecord("hang"), FIXTURE_HANGING_LIBRARY);
        const std::string plugIns = folder.path().string();
        char* argv[] = {const_cast<char*>(FIXTURE_HOST), const_cast<char*>(plugIns.c_str()),
                        const_cast<char*>(c.mode), nullptr};
        pid_t host = -1;
        ASSERT_EQ(::posix_spawn(&host, FIXTURE_HOST, nullptr, nullptr, argv, environ), 0) << c.fault;
        ASSERT_TRUE(waitFor([&] { return fs::exists(folder.path() / "hanging.pid"); })) << c.fault;
        const pid_t probe = std::stoi(readText(folder.path() / "hanging.pid"));
        if (std::string_view(c.mode) == "stay") ::kill(host, SIGKILL);
        ASSERT_TRUE(waitFor([&] { return ::waitpid(host, nullptr, WNOHANG) == host; })) << c.fault;
        if (std::string_view(c.mode) == "exit") {
            // Ended and reaped by the host before it was gone itself: never this process's child.
            EXPECT_EQ(::waitpid(probe, nullptr, WNOHANG), -1) << c.fault;
            EXPECT_EQ(errno, ECHILD) << c.fault;
        } else {
            EXPECT_TRUE(waitFor([&] {
                const pid_t ended = ::waitpid(probe, nullptr, WNOHANG);
                return ended == probe || (ended < 0 && errno == ECHILD);
            })) << c.fault;
        }
        if (::waitpid(probe, nullptr, WNOHANG) == 0) { // left behind: this test ends it
            ::kill(probe, SIGKILL);
            ::waitpid(probe, nullptr, 0);
        }
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
}

TEST(ComponentRegistry, TestLoadsRunAFewAtATimeWithinTheirWait) {
    // Each load of the counting library takes a fifth of a second and counts the loads at once.
    const auto mostAtOnce = [](const fs::path& folder) {
        int nowMost[2] = {-1, -1};
        std::ifstream(folder / "loading.count", std::ios::binary)
            .read(reinterpret_cast<char*>(nowMost), sizeof nowMost);
        return nowMost[1];
    };
    const auto makeBundles = [](const fs::path& folder) {
        for (char i = 'a'; i < 'a' + 12; ++i) {
            const char subtype[] = {'c', 'n', 't', i, 0};
            makeBundle(folder, subtype + std::string(".appex"), fixtureRecord(subtype),
                       FIXTURE_COUNTING_LIBRARY);
        }
    };
    const struct {
        const char* fault;
        double seconds;
        unsigned atOnce;
        std::size_t listedAtLeast, listedAtMost;
    } cases[] = {
        {"no bound on the test processes running at once", 120, 3, 12, 12},
        // Too short a wait for all of them, one at a time: those whose turn did not come are skipped.
        {"libraries whose turn did not come within the wait listed untested", 0.5, 1, 0, 3},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        makeBundles(folder.path());
        ConsoleCapture console;
        const AVAudioUnitComponentManager registry({folder.path()}, {true, c.seconds, c.atOnce});
        const std::size_t listed = registry.componentsMatching({}).size();
        EXPECT_GE(listed, c.listedAtLeast) << c.fault << "\n" << console.text();
        EXPECT_LE(listed, c.listedAtMost) << c.fault;
        EXPECT_EQ(console.count("plat::components: skipped "), 12 - listed) << c.fault;
        // At most one was running, and killed, when the time ran out.
        EXPECT_GE(console.count(" ran out before its turn\n") + 1, 12 - listed) << c.fault;
        // On a busy machine the short wait may end before any test process has opened its library.
        const int most = mostAtOnce(folder.path());
        if (listed > 0) {
            EXPECT_GE(most, 1) << c.fault;
        }
        EXPECT_LE(most, int(c.atOnce)) << c.fault;
    }
}

TEST(ComponentRegistry, IconsAreDecodedFromTheBundleAndBadOnesAreReportedWithoutLosingTheComponent) {
    ScratchFolder folder, outside;
    plat::ImageSurface picture(48, 40);
    picture.fill(plat::UIColor(0, 0.5, 1, 1));
    const auto withIcon = [&](const char* subtype, const char* icon) {
        auto record = fixtureRecord(subtype);
        record.set("icon", icon);
        const fs::path bundle = makeBundle(folder.path(), subtype + std::string(".appex"), record);
        EXPECT_TRUE(picture.writePNG((bundle / "icon.png").string()));
        return bundle;
    };
    withIcon("good", "icon.png");
    const fs::path missing = withIcon("miss", "none.png");
    const fs::path text = withIcon("text", "Info.plist");
    const fs::path escaping = withIcon("escp", "../escp.appex/icon.png");
    const fs::path linked = withIcon("link", "linked.png");
    EXPECT_TRUE(picture.writePNG((outside.path() / "elsewhere.png").string()));
    fs::create_symlink(outside.path() / "elsewhere.png", linked / "linked.png");
    // An icon whose header (width at 16, height at 20) says `width` x `height`; its checksum (at 29,
    // over the chunk's name and data) still that of 48 x 40 unless made anew.
    const auto declaring = [&](const char* subtype, std::string_view width, std::string_view height,
                               bool checksum = false) {
        const fs::path bundle = withIcon(subtype, "icon.png");
        std::string png = readText(bundle / "icon.png");
        png.replace(16, 4, width).replace(20, 4, height);
        std::uint32_t crc = 0xFFFFFFFF;
        for (const unsigned char c : png.substr(12, 17)) {
            crc ^= c;
            for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        }
        for (int k = 0; checksum && k < 4; ++k) png[29 + k] = char(~crc >> (24 - 8 * k));
        writeText(bundle / "icon.png", png);
    };
    // 16000 x 16000 in its header, a gigabyte once decoded, in a few hundred bytes.
    const std::string_view huge("\0\0\x3e\x80", 4), forty("\0\0\0\x28", 4), none("\0\0\0\0", 4);
    declaring("bomb", huge, huge);
    declaring("bigw", huge, forty);
    declaring("bigh", forty, huge);
    declaring("zero", none, forty, true);
    declaring("crc_", forty, forty);
    const fs::path cut = withIcon("cut_", "icon.png");
    fs::resize_file(cut / "icon.png", 60);
    const fs::path header = withIcon("head", "icon.png"); // the signature, but not the size after it
    fs::resize_file(header / "icon.png", 20);
    plat::ImageSurface upright(40, 48);
    upright.fill(plat::UIColor(0, 0.5, 1, 1));
    EXPECT_TRUE(upright.writePNG((withIcon("tall", "icon.png") / "icon.png").string()));
    plat::ImageSurface largest(1024, 1024);
    largest.fill(plat::UIColor(1, 0, 0, 1));
    const fs::path edge = withIcon("edge", "icon.png");
    EXPECT_TRUE(largest.writePNG((edge / "icon.png").string()));
    fs::create_symlink("loop.png", withIcon("loop", "loop.png") / "loop.png");
    fs::permissions(withIcon("clsd", "icon.png") / "icon.png", fs::perms::none);
    auto notText = fixtureRecord("nstr");
    notText.set("icon", 7L);
    makeBundle(folder.path(), "nstr.appex", notText);
    makeBundle(folder.path(), "none.appex", fixtureRecord("none"));

    ConsoleCapture console;
    const auto registry = [&] {
        HeldToFileModes asOwner;
        return AVAudioUnitComponentManager({folder.path()});
    }();
    EXPECT_EQ(registry.componentsMatching({}).size(), 18u); // every one listed
    const std::string printed = console.text();
    const struct {
        const char* subtype;
        const char* problem;
    } bad[] = {{"miss", "its icon "},
               {"text", "is not a PNG image"},
               {"escp", "must be a relative path inside the bundle"},
               {"link", "lies outside the bundle"},
               {"nstr", "the record's \u201cicon\u201d is not a string"},
               {"bomb", "is 16000 x 16000 pixels, larger than 1024 x 1024"},
               {"bigw", "is 16000 x 40 pixels, larger than 1024 x 1024"},
               {"bigh", "is 40 x 16000 pixels, larger than 1024 x 1024"},
               {"zero", "cannot be decoded: the file is damaged or not a PNG image"},
               {"crc_", "cannot be decoded: the file is damaged or not a PNG image"},
               {"head", "is not a PNG image"},
               {"cut_", "cannot be decoded: "},
               {"loop", "loop.png cannot be read: Too many levels of symbolic links"},
               {"clsd", "couldn\u2019t be opened: Permission denied"}};
    for (const auto& b : bad) {
        const auto found = registry.componentsMatching(codes("", b.subtype, ""));
        ASSERT_EQ(found.size(), 1u) << b.subtype;
        EXPECT_EQ(found[0].icon(), nullptr) << b.subtype;
        EXPECT_EQ(plat::iconDescription(plat::AudioComponentGetIcon(found[0], 32)), "nil");
        const std::string line = "plat::components: " + found[0].bundlePath().string() + ": ";
        const auto at = printed.find(line);
        ASSERT_NE(at, std::string::npos) << b.subtype << "\n" << printed;
        const std::string reported = printed.substr(at, printed.find('\n', at) - at);
        EXPECT_NE(reported.find(b.problem), std::string::npos) << reported;
        EXPECT_NE(reported.find("; it is listed without an icon"), std::string::npos) << reported;
    }
    EXPECT_NE(printed.find((missing / "none.png").string() + " is not there"), std::string::npos) << printed;

    const auto good = registry.componentsMatching(codes("", "good", ""));
    ASSERT_EQ(good.size(), 1u);
    const auto copied = plat::AudioComponentCopyIcon(good[0]),
               small = plat::AudioComponentGetIcon(good[0], 32);
    ASSERT_TRUE(copied && small);
    EXPECT_EQ(std::tuple(copied->width(), copied->height(), small->width(), small->height()),
              std::tuple(48, 40, 32, 32));
    EXPECT_EQ(plat::iconDescription(small), "Optional(<UIImage: 32 x 32>)");
    // 48 x 40 fitted in 32 x 32: 32 x 26.7 from the fourth row down, transparent above and below;
    // 40 x 48 the other way round.
    const auto tall = plat::AudioComponentGetIcon(registry.componentsMatching(codes("", "tall", ""))[0], 32);
    ASSERT_TRUE(tall);
    EXPECT_EQ(std::tuple(tall->width(), tall->height()), std::tuple(32, 32));
    for (const auto& [image, across] : {std::pair(small, true), std::pair(tall, false)}) {
        SCOPED_TRACE(across ? "48 x 40" : "40 x 48");
        cairo_surface_flush(image->surface());
        const auto alpha = [&](int along, int aside) {
            const int x = across ? along : aside, y = across ? aside : along;
            const auto* row = cairo_image_surface_get_data(image->surface()) +
                              y * cairo_image_surface_get_stride(image->surface());
            return reinterpret_cast<const std::uint32_t*>(row)[x] >> 24;
        };
        for (const int margin : {0, 1, 30, 31}) EXPECT_EQ(alpha(16, margin), 0u) << "stretched at " << margin;
        for (const int aside : {3, 16, 28})
            for (const int along : {0, 16, 31})
                EXPECT_GT(alpha(along, aside), 250u) << along << ", " << aside;
    }
    const auto largestRead = registry.componentsMatching(codes("", "edge", ""));
    ASSERT_EQ(largestRead.size(), 1u);
    ASSERT_TRUE(largestRead[0].icon()) << "the largest icon read refused";
    EXPECT_EQ(largestRead[0].icon()->width(), 1024);
    EXPECT_EQ(plat::iconDescription(copied), "Optional(<UIImage: 48 x 40>)");
    EXPECT_EQ(plat::iconDescription(
                  plat::AudioComponentCopyIcon(registry.componentsMatching(codes("", "none", ""))[0])),
              "nil");
    EXPECT_EQ(console.count("plat::components: "), std::size(bad));
}

TEST(ComponentRegistry, PathsAndSettingsReachTheConsoleEscapedAndShortened) {
    ScratchFolder folder;
    // A folder name that would clear the terminal and forge a line of its own.
    const std::string hostile = "x\x1b[2J\x1b[1;1H\nplat::components: forged\xc2\x9b\x9b\u00e9.appex";
    std::string record = "no plist";
    fs::create_directories(folder.path() / hostile);
    writeText(folder.path() / hostile / "Info.plist", record);
    const std::string longFolder = "/nonexistent/" + std::string(100 * 1024, 'y') + "\x1b[2J";
    // Errors that carry their own copy of a path: a record too large to read, an icon that is none.
    const fs::path red = folder.path() / "bad\x1b[31mRED";
    fs::create_directories(red / "X.appex");
    writeText(red / "X.appex/Info.plist", std::string(70 * 1024, ' '));
    auto withIcon = fixtureRecord("icon");
    withIcon.set("icon", "Info.plist");
    makeBundle(red, "Y.appex", withIcon);
    const char* previous = std::getenv(plat::kPlugInPathVariable);
    const std::string saved = previous ? previous : "";
    ::setenv(plat::kPlugInPathVariable,
             (folder.path().string() + ":" + longFolder + ":" + red.string()).c_str(), 1);
    ConsoleCapture console;
    AVAudioUnitComponentManager registry(AVAudioUnitComponentManager::defaultSearchFolders());
    previous ? (void)::setenv(plat::kPlugInPathVariable, saved.c_str(), 1)
             : (void)::unsetenv(plat::kPlugInPathVariable);
    const std::string printed = console.text();
    EXPECT_EQ(printed.find('\x1b'), std::string::npos) << printed.substr(0, 2000);
    EXPECT_EQ(printed.find("\x9b"), std::string::npos);
    EXPECT_EQ(console.count("\nplat::components: forged"), 0u);
    EXPECT_NE(printed.find("x\\x1b[2J\\x1b[1;1H\\x0aplat::components: forged\\xc2\\x9b\\x9b\u00e9.appex: "),
              std::string::npos)
        << printed.substr(0, 2000);
    const std::string shownRed = plat::shownText(red.string());
    for (const auto& copy :
         {"X.appex/Info.plist\u201d is larger than 65536 bytes.", "Y.appex/Info.plist is not a PNG"})
        EXPECT_NE(printed.find(shownRed + "/" + copy), std::string::npos) << copy << "\n"
                                                                          << printed.substr(0, 2000);
    EXPECT_EQ(printed.find("\\x5c"), std::string::npos) << "escaped twice";
    EXPECT_EQ(console.count("\n"),
              4u); // two bundles skipped, one without its icon, the long folder: a line each
    std::size_t longest = 0;
    for (std::size_t at = 0, end; (end = printed.find('\n', at)) != std::string::npos; at = end + 1)
        longest = std::max(longest, end - at);
    EXPECT_LT(longest, 2048u);
}

} // namespace
