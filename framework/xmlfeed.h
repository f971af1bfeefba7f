#pragma once

#include "xmllist.h"

#include <QString>

#include <memory>
#include <thread>

namespace Orvel {

// A big file of plain XML (plainxml.h) read on a short-lived thread of its
// own (Heap::startApart), its top-level entries handed over as they are
// read, so that the work done with them overlaps the reading. The reading
// writes no trace line: a file that cannot be read, or is not plain XML,
// ends the feed, isWhole() answers false, and whatever was done with the
// entries handed over is to be undone and the file read the usual way
// (Config), which decides it and traces. The tree read is dropped with the
// feed.
class XmlFeed
{
public:
    explicit XmlFeed(const QString &path);
    ~XmlFeed();
    XmlFeed(const XmlFeed &) = delete;
    XmlFeed &operator=(const XmlFeed &) = delete;

    // The next top-level entries read, as a list of their own; false once
    // the reading has ended and everything read was handed over.
    bool next(XmlList &entries);
    // Waits for the reading to end: whether the file was read whole.
    bool isWhole() const;

private:
    struct Shared;
    std::unique_ptr<Shared> m_shared;
    std::thread m_reading;
};

} // namespace Orvel
