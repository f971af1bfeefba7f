#include "xmlfeed.h"

#include "fileio.h"
#include "heap.h"
#include "plainxml.h"
#include "xmlentries.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace Orvel {

namespace {

// Entries go over in batches: one hand-over per entry would wake the other
// thread ten thousand times for a big rule set. A batch is as long as a
// list gets without an index.
constexpr size_t kBatchEntries = XmlStorage::kMostEntriesWalked;

} // namespace

struct XmlFeed::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    // Every batch read stays here until the feed is dropped with the tree:
    // a block of the reading thread's arena freed by the taker meanwhile
    // would be reused for the taker's long-lived data, and would keep the
    // arena's pages from going back to the system.
    std::vector<std::shared_ptr<XmlEntries>> batches;
    size_t taken = 0;
    bool ended = false;
    bool whole = false;
    std::shared_ptr<XmlEntries> document;

    void handOver(std::shared_ptr<XmlEntries> &batch)
    {
        if (!batch)
            return;
        const std::lock_guard<std::mutex> lock(mutex);
        batches.push_back(std::move(batch));
        changed.notify_one();
    }

    void read(const QString &path)
    {
        QByteArray bytes;
        QString reason;
        std::shared_ptr<XmlEntries> batch;
        std::shared_ptr<XmlEntries> tree;
        if (FileIo::readRegularFile(path, bytes, reason)) {
            tree = PlainXml::read(bytes, [&](const XmlEntry &e) {
                if (!batch)
                    batch = std::make_shared<XmlEntries>();
                batch->append(e);
                if (batch->entries.size() == kBatchEntries)
                    handOver(batch);
            });
        }
        handOver(batch);
        const std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        whole = bool(tree);
        document = std::move(tree);
        changed.notify_one();
    }
};

XmlFeed::XmlFeed(const QString &path)
    : m_shared(std::make_unique<Shared>())
{
    Shared *shared = m_shared.get();
    m_reading = Heap::startApart([shared, path] { shared->read(path); });
}

XmlFeed::~XmlFeed()
{
    if (m_reading.joinable())
        m_reading.join();
}

bool XmlFeed::next(XmlList &entries)
{
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    Shared &shared = *m_shared;
    shared.changed.wait(lock,
                        [&shared] { return shared.ended || shared.taken < shared.batches.size(); });
    if (shared.taken == shared.batches.size())
        return false;
    entries = XmlList(shared.batches[shared.taken++]);
    return true;
}

bool XmlFeed::isWhole() const
{
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    m_shared->changed.wait(lock, [this] { return m_shared->ended; });
    return m_shared->whole;
}

} // namespace Orvel
