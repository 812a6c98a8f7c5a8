// A second process for the settings tests: reads or writes one key of a settings domain.
//   settings_probe get <domain> <key>          prints the value as a string, or "<none>"
//   settings_probe set <domain> <key> <value>  stores the value as a string
//   settings_probe fill <domain> <prefix> <n>  stores <prefix>0 ... <prefix>n-1, one write each

#include "plat/defaults.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    if (std::strcmp(argv[1], "fill") == 0 && argc == 5) {
        const int n = std::atoi(argv[4]);
        for (int i = 0; i < n; ++i)
            store->set(std::string(argv[3]) + std::to_string(i), plat::plist::Value(i));
        return 0;
    }
    return 2;
}
