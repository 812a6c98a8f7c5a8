#pragma once

#include <atomic>

// Counts every operator new in this test program.
extern std::atomic<long> gAllocations;
