#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Hands memory that was freed back to the system, where the allocator keeps it otherwise.
void GiveBackFreeMemory();

// Physical memory the system could give this process now without swapping out other work
// (MemAvailable on Linux, ullAvailPhys on Windows); 0 when the system does not tell.
std::uint64_t AvailableMemory();

// A block for a large table, or nullptr when the system has none. A block of a few MiB or more
// comes in large pages where the system offers them: on a virtual machine a fresh page can cost
// more than the work that fills it. Released with the size it was asked for.
void* AllocateBlock(std::size_t size);
void ReleaseBlock(void* block, std::size_t size);

} // namespace platform
