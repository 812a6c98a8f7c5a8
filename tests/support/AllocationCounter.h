#pragma once
// Counts heap allocations in a test program: link AllocationCounter.cpp into it, and it
// replaces the global allocator (and, outside sanitizer builds, the C allocator too).

namespace allocations {

// operator new calls anywhere in the process.
long total();
// operator new and malloc-family calls made by the calling thread.
long onThisThread();

} // namespace allocations
