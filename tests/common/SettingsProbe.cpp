// A second process for the settings tests: reads or writes one key of a settings domain.
//   settings_probe get <domain> <key>          prints the value as a string, or "<none>"
//   settings_probe set <domain> <key> <value>  stores the value as a string

#include "plat/defaults.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    auto store = plat::UserDefaults::suite(argv[2]);
    if (!store) return 3;
    if (std::strcmp(argv[1], "get") == 0) {
        const auto value = store->string(argv[3]);
        std::printf("%s", value ? value->c_str() : "<none>");
        return 0;
    }
    if (std::strcmp(argv[1], "set") == 0 && argc == 5) {
        store->set(argv[3], plat::plist::Value(argv[4]));
        return 0;
    }
    return 2;
}
