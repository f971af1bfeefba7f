#pragma once

namespace Orvel {

// The process's heap.
class Heap
{
public:
    // Hands the pages that freed memory left unused back to the system. A
    // big piece of work (a reload reads every rule file into trees it drops
    // at once) otherwise leaves them counted in the process's memory, held
    // for a next time that may not come.
    static void releaseFreed();
};

} // namespace Orvel
