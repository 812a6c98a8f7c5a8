#pragma once
// The fused loop of every instruction set this processor runs, for tests run once per loop.

#include "CompanderCore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline std::vector<CompanderCoreFn> cores() {
    std::vector<CompanderCoreFn> list{&companderCoreSSE};
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) list.push_back(&companderCoreAVX2);
    if (__builtin_cpu_supports("avx512f")) list.push_back(&companderCoreAVX512);
    return list;
}

inline std::string coreName(const ::testing::TestParamInfo<CompanderCoreFn>& info) {
    return info.param == &companderCoreSSE ? "SSE" : info.param == &companderCoreAVX2 ? "AVX2" : "AVX512";
}
