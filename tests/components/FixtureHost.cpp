// A host for the tests of what becomes of test loads when the host ends: scans a plug-in folder on
// a thread of its own and, once a hanging library's test process has left its process id beside
// the bundles, exits ("exit") or waits to be killed ("stay").
//   components_fixture_host <plug-in folder> exit|stay
#include "plat/components.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::filesystem::path folder = argv[1];
    const std::string mode = argv[2];
    std::thread([folder] { plat::AVAudioUnitComponentManager registry({folder}, {true, 600}); }).detach();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(folder / "hanging.pid"))
        if (std::chrono::steady_clock::now() > deadline)
            return 1;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (mode == "exit") std::exit(0);
    for (;;) ::pause();
}
