// The container application's entry: the platform's application loop with AppDelegate.
#include "AppDelegate.h"

#include "plat/engine.h"

int main(int argc, char* argv[]) {
    const int status =
        plat::UIApplicationMain(argc, argv, std::nullopt, plat::NSStringFromClass<AppDelegate>());
    // A recording that could not be written whole fails the run.
    return plat::AVAudioEngine::finishOutputs() ? status : 1;
}
