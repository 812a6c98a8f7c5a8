#pragma once
// Tests run as root, whom file modes do not bind.

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Holds this thread to file modes as their owner is held, root too, while it lives: it can neither
// write nor read nor search what its modes refuse.
class HeldToFileModes {
public:
    HeldToFileModes() {
        ::syscall(SYS_capget, &header_, held_);
        __user_cap_data_struct lowered[2] = {held_[0], held_[1]};
        lowered[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        ::syscall(SYS_capset, &header_, lowered);
    }
    ~HeldToFileModes() { ::syscall(SYS_capset, &header_, held_); }
    HeldToFileModes(const HeldToFileModes&) = delete;
    HeldToFileModes& operator=(const HeldToFileModes&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct held_[2]{};
};
