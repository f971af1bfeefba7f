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

// The C library gives the free space at the end of an arena back only as it
// frees, and only past its trim bound, which it raises to twice the largest
// mapped block freed so far; malloc_trim does not trim a thread arena's end.
// Left to that, the dropped policy rules tree (some 15 MB at 10,000
// policies) stayed resident after about half the reloads. The bounds are
// fixed instead, at the library's own ceilings, where a long-running
// process's bounds end up anyway: blocks up to 32 MB come from the heap,
// and free space past 64 MB at an arena's end goes back. Only while a big
// structure is dropped is the trim bound 8 MB: trimming that eagerly all the
// time made a burst's passes a tenth slower, as each pass's store text was
// given back and faulted in again.
constexpr int kMappedFrom = 32 * 1024 * 1024;
constexpr int kTrimmedFrom = 64 * 1024 * 1024;
constexpr int kTrimmedFromWhileDropping = 8 * 1024 * 1024;

void setTrimBound(int bytes)
{
    // Setting either bound stops the library from moving the other.
    static const int mapped = mallopt(M_MMAP_THRESHOLD, kMappedFrom);
    (void)mapped;
    mallopt(M_TRIM_THRESHOLD, bytes);
}

} // namespace

void Heap::dropAndGiveBack(const std::function<void()> &drop)
{
    setTrimBound(kTrimmedFromWhileDropping);
    drop();
    setTrimBound(kTrimmedFrom);
}

void Heap::runApart(const std::function<void()> &work)
{
    std::thread apart = startApart(work);
    if (apart.joinable())
        apart.join();
}

std::thread Heap::startApart(const std::function<void()> &work)
{
    try {
        return std::thread(work);
    } catch (const std::system_error &e) {
        // Out of threads (a process or system limit): the work is the same
        // here, only its memory is not kept apart.
        TraceLine(1, "heap", __LINE__) << "Cannot start a thread:" << e.what() << "- working here";
        work();
        return std::thread();
    }
}

} // namespace Orvel
