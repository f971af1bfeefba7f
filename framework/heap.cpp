#include "heap.h"

#include <malloc.h>

namespace Orvel {

void Heap::releaseFreed()
{
    malloc_trim(0);
}

} // namespace Orvel
