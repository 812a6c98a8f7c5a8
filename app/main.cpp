// The container application's entry: the platform's application loop with AppDelegate.
#include "AppDelegate.h"

#include "plat/engine.h"

int main(int argc, char* argv[]) {
    const int status =
        plat::UIApplicationMain(argc, argv, std::nullopt, plat::NSStringFromClass<AppDelegate>());
    // A screenshot that could not be written has made `status` 1; a recording that could not be
    // written whole fails the run too.
    return plat::AVAudioEngine::finishOutputs() ? status : 1;
}
