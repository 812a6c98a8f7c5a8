#include "MIDIDefinitions.h"

#include <cstring>
#include <new>

static_assert(alignof(plat::MIDIMetaEvent) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__,
              "a plain byte allocation is aligned for the record");

MyMetaEvent::MyMetaEvent(std::uint8_t type, std::span<const std::uint8_t> data)
    : size(data.size() + 12), mem(new std::uint8_t[size]()) {
    auto* event = new (mem.get()) plat::MIDIMetaEvent{};
    event->metaEventType = type;
    event->dataLength = static_cast<std::uint32_t>(data.size());
    if (!data.empty()) std::memcpy(mem.get() + offsetof(plat::MIDIMetaEvent, data), data.data(), data.size());
}

void MyMetaEvent::withMIDIMetaEventPtr(const std::function<void(const plat::MIDIMetaEvent*)>& body) const {
    if (body) body(std::launder(reinterpret_cast<const plat::MIDIMetaEvent*>(mem.get())));
}

void test_MyMetaEvent() {
    const std::uint8_t bytes[] = {0, 0, 0};
    MyMetaEvent event(0x7F, bytes);
    event.withMIDIMetaEventPtr([](const plat::MIDIMetaEvent*) {});
}
