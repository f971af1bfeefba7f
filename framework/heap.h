#pragma once

#include <functional>

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

    // Fixes the heap's bounds for a long-lived process that now and then
    // reads a big file into a tree it soon drops: blocks of 256 KB and more
    // are mapped apart and unmapped when freed (by default that bound, and
    // with it the free space the heap keeps, grows with the biggest block
    // ever freed), and small freed blocks merge at once instead of waiting
    // in lists by size, so that a dropped tree's pages can go back at once.
    static void keepCompact();

    // Runs work on a short-lived thread of its own and waits for it. What
    // the work allocates comes from that thread's own heap arena: a big tree
    // read there and dropped later leaves no holes among the long-lived data
    // built meanwhile, and its pages all go back to the system. Whatever
    // outlives the tree must hold copies of its texts, not shares.
    static void runApart(const std::function<void()> &work);
};

} // namespace Orvel
