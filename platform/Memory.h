#pragma once

namespace platform {

// Hands memory that was freed back to the system, where the allocator keeps it otherwise.
void GiveBackFreeMemory();

} // namespace platform
