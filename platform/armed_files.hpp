// The files an interrupt deletes (InterruptCleanup), kept where each
// system's interrupt handler reads them without taking a lock or
// allocating: a fixed table of names.
#pragma once

#include <atomic>
#include <cstddef>

namespace oxbuild::platform {

inline constexpr std::size_t kArmedFileSlots = 8;
extern std::atomic<const char*> armed_files[kArmedFileSlots];
static_assert(std::atomic<const char*>::is_always_lock_free);

// Takes a free slot for the name: its index, or -1 when every slot is taken.
int claim_armed_slot(const char* name);

}  // namespace oxbuild::platform
