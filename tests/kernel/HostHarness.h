#pragma once
// The adapter driven through its render entry, as the kernel benchmark's host drives it.

#include "RenderHost.h"
#include "YUX_Sorvane_ExtensionDSPKernelAdapter.h"

class HostHarness : public RenderHost {
public:
    explicit HostHarness(YUX_Sorvane_ExtensionDSPKernelAdapter& adapter, std::uint32_t maxFrames = 4096)
        : RenderHost([&adapter](auto... a) { return adapter.render(a...); }, maxFrames) {}
};
