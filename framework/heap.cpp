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

namespace {

// A thread's arena gives the free space at its end back to the system only
// as it frees, and only past the trim bound, which the C library raises to
// twice the largest mapped block freed so far: the dropped policy rules
// tree (some 15 MB at 10,000 policies) stayed resident after about half the
// reloads, as the blocks freed before it happened to be. Setting one bound
// stops the library from moving the other, so both are fixed: blocks up to
// the library's own ceiling come from the heap (the store's text, written
// on every pass, is not mapped and faulted in anew each time), and free
// space beyond 8 MB at the end of any arena goes back.
void fixHeapBounds()
{
    static const bool fixed = [] {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);
        return true;
    }();
    (void)fixed;
}

} // namespace

void Heap::runApart(const std::function<void()> &work)
{
    fixHeapBounds();
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
