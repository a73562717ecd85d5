#include "platform/Memory.h"

#include <malloc.h>

namespace platform {

void GiveBackFreeMemory() { ::_heapmin(); }

} // namespace platform
