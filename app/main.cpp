// The container application's entry: the platform's application loop with AppDelegate.
#include "AppDelegate.h"

int main(int argc, char* argv[]) {
    return plat::UIApplicationMain(argc, argv, std::nullopt, plat::NSStringFromClass<AppDelegate>());
}
