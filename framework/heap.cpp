#include "heap.h"

#include <malloc.h>

#include <thread>

namespace Orvel {

void Heap::releaseFreed()
{
    malloc_trim(0);
}

void Heap::runApart(const std::function<void()> &work)
{
    std::thread(work).join();
}

} // namespace Orvel
