#pragma once

#include <functional>
#include <thread>

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

    // Runs work on a short-lived thread of its own and waits for it. What
    // the work allocates comes from that thread's own heap arena: a big tree
    // read there and dropped later leaves no holes among the long-lived data
    // built meanwhile, and its pages can go back to the system. Whatever
    // outlives the tree must hold copies of its texts, not shares.
    static void runApart(const std::function<void()> &work);
    // The same without waiting: the thread answered is to be joined. Out of
    // threads, the work is done before this returns, and the thread
    // answered is not joinable.
    static std::thread startApart(const std::function<void()> &work);

    // Runs `drop`, which frees a big structure (such as a tree read apart),
    // with the heap giving the free space it leaves at the end of an arena
    // back to the system as it frees.
    static void dropAndGiveBack(const std::function<void()> &drop);
};

} // namespace Orvel
