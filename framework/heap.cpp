#include "heap.h"

#include <malloc.h>

#include <thread>

namespace Orvel {

void Heap::releaseFreed()
{
    malloc_trim(0);
}

void Heap::keepCompact()
{
    constexpr int kMappedFrom = 256 * 1024;
    mallopt(M_MMAP_THRESHOLD, kMappedFrom);
    mallopt(M_MXFAST, 0);
}

void Heap::runApart(const std::function<void()> &work)
{
    std::thread(work).join();
}

} // namespace Orvel
