#pragma once
// Folders of plug-in bundles made by the tests, and waiting for an instantiation's delivery.

#include "ConsoleCapture.h"
#include "ScratchFolder.h"

#include "plat/components.h"
#include "plat/plist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <thread>

namespace fs = std::filesystem;

// A folder of plug-in bundles.
class PlugInFolder {
public:
    const fs::path& path() const { return scratch_.path(); }

    // A bundle with the fixture library in lib/fixture.so and `record` as its Info.plist.
    fs::path bundle(const std::string& name, const plat::plist::Dictionary& record) {
        const fs::path folder = emptyBundle(name);
        fs::create_symlink(FIXTURE_LIBRARY, folder / "lib/fixture.so");
        EXPECT_TRUE(plat::plist::writeFile(folder / "Info.plist", record).ok());
        return folder;
    }
    fs::path emptyBundle(const std::string& name) {
        fs::create_directories(path() / name / "lib");
        return path() / name;
    }

private:
    ScratchFolder scratch_;
};

// A valid record of the fixture plug-in.
inline plat::plist::Dictionary fixtureRecord(const char* subtype = "fxSV", long flags = 0,
                                             const char* entry = "FixtureEntry") {
    return {{"type", "aumf"},         {"subtype", subtype},
            {"manufacturer", "TEST"}, {"name", "TEST: Fixture"},
            {"version", "1.2.3"},     {"library", "lib/fixture.so"},
            {"entry", entry},         {"abiVersion", long(plat::kAudioComponentPlugInABIVersion)},
            {"flags", flags}};
}

inline plat::AudioComponentDescription description(const char* type, const char* subtype,
                                                   const char* manufacturer, std::uint32_t flags = 0,
                                                   std::uint32_t mask = 0) {
    const auto code = [](const char* c) { return c[0] ? plat::fourCC({c[0], c[1], c[2], c[3], 0}) : 0u; };
    return {code(type), code(subtype), code(manufacturer), flags, mask};
}

struct Delivered {
    plat::Result<std::shared_ptr<plat::AUAudioUnit>> unit;
    std::thread::id thread;
};

// Starts an instantiation with a completion and waits for what it delivers.
template <class Start>
Delivered awaitDelivery(Start start) {
    std::promise<Delivered> delivered;
    auto future = delivered.get_future();
    start([&delivered](plat::Result<std::shared_ptr<plat::AUAudioUnit>> unit) {
        delivered.set_value({std::move(unit), std::this_thread::get_id()});
    });
    return future.get();
}
