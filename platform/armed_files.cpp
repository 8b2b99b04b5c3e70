#include "platform/armed_files.hpp"

#include "platform/platform.hpp"

namespace oxbuild::platform {

std::atomic<const char*> armed_files[kArmedFileSlots];

int claim_armed_slot(const char* name) {
    for (std::size_t i = 0; i < kArmedFileSlots; ++i) {
        const char* free_slot = nullptr;
        if (armed_files[i].compare_exchange_strong(free_slot, name)) return static_cast<int>(i);
    }
    return -1;
}

void InterruptCleanup::disarm() {
    if (slot_ >= 0) armed_files[static_cast<std::size_t>(slot_)].store(nullptr);
    slot_ = -1;
}

}  // namespace oxbuild::platform
