// A document of 100,000 keys, binary and XML: our parse (our binary reader; libxml2's reader and our
// values for XML) against libplist's parse of the same bytes into its own nodes.
#include "plat/plist.h"

#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

plist_t documentNode() {
    plist_t root = plist_new_dict();
    for (int i = 0; i < 100000; ++i)
        plist_dict_set_item(root, ("param " + std::to_string(i)).c_str(), plist_new_real(0.5));
    return root;
}

std::vector<std::uint8_t> document(bool binary) {
    plist_t root = documentNode();
    char* bytes = nullptr;
    uint32_t length = 0;
    if (binary)
        plist_to_bin(root, &bytes, &length);
    else
        plist_to_xml(root, &bytes, &length);
    std::vector<std::uint8_t> out(bytes, bytes + length);
    std::free(bytes);
    plist_free(root);
    return out;
}

void BM_Parse100kKeys(benchmark::State& state) {
    const auto bytes = document(state.range(0) != 0);
    for (auto _ : state) {
        auto value = plat::plist::parse(std::span<const std::uint8_t>(bytes));
        if (!value.ok() || value.value().asDictionary()->size() != 100000)
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(value);
    }
    state.counters["bytes"] = double(bytes.size());
}
BENCHMARK(BM_Parse100kKeys)->ArgName("binary")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_LibplistAlone100kKeys(benchmark::State& state) {
    const auto bytes = document(state.range(0) != 0);
    const auto* chars = reinterpret_cast<const char*>(bytes.data());
    for (auto _ : state) {
        plist_t root = nullptr;
        if (state.range(0))
            plist_from_bin(chars, uint32_t(bytes.size()), &root);
        else
            plist_from_xml(chars, uint32_t(bytes.size()), &root);
        benchmark::DoNotOptimize(root);
        plist_free(root);
    }
}
BENCHMARK(BM_LibplistAlone100kKeys)->ArgName("binary")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
