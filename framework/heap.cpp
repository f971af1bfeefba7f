#include "heap.h"

#include "trace.h"

#include <malloc.h>

#include <system_error>
#include <thread>

namespace Orvel {

void Heap::releaseFreed()
{
    malloc_trim(0);
}

void Heap::runApart(const std::function<void()> &work)
{
    std::thread apart;
    try {
        apart = std::thread(work);
    } catch (const std::system_error &e) {
        // Out of threads (a process or system limit): the work is the same
        // here, only its memory is not kept apart.
        TraceLine(1, "heap", __LINE__) << "Cannot start a thread:" << e.what() << "- working here";
        work();
        return;
    }
    apart.join();
}

} // namespace Orvel
