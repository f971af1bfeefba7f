#include "configlocal.h"

#include "context.h"
#include "fileio.h"
#include "fixedpath.h"
#include "log.h"
#include "trace.h"

#include <QFileInfo>

#include <set>

namespace Orvel {

namespace {

std::set<ConfigLocal *> &liveStores()
{
    static std::set<ConfigLocal *> stores;
    return stores;
}

int deferring = 0;

// Where an unreadable store file is kept: one generation, beside it.
QString badCopy(const QString &path)
{
    return path + QLatin1String(".bad");
}

} // namespace

ConfigLocal::ConfigLocal(const QString &name)
{
    const QString path = FixedPath::local() + QLatin1Char('/') + name;
    const bool exists = QFileInfo::exists(path);
    m_unreadable = !load(path, QString()) && exists;
    if (m_unreadable)
        TraceLine(0, "configlocal", __LINE__)
            << "Store" << path << "is unreadable; starting without its contents."
            << "The next save keeps it as" << badCopy(path);
    liveStores().insert(this);
}

ConfigLocal::~ConfigLocal()
{
    liveStores().erase(this);
    if (m_dirty)
        writeNow();
}

bool ConfigLocal::save()
{
    if (deferring > 0) {
        m_dirty = true;
        return true;
    }
    return writeNow();
}

bool ConfigLocal::writeNow()
{
    m_dirty = !(keepUnreadableFile() && write(true));
    return !m_dirty;
}

// Moves the unreadable file aside before the first save replaces it; false
// while that fails, so that the save waits rather than loses its bytes.
bool ConfigLocal::keepUnreadableFile()
{
    if (!m_unreadable || !QFileInfo::exists(filePath())) {
        m_unreadable = false;
        return true;
    }
    const QString copy = badCopy(filePath());
    QString reason;
    if (!FileIo::moveFile(filePath(), copy, reason)) {
        TraceLine(0, "configlocal", __LINE__)
            << "Cannot save" << filePath() << "- it cannot be kept as" << copy << reason;
        return false;
    }
    m_unreadable = false;
    TraceLine(0, "configlocal", __LINE__)
        << "Kept the unreadable store" << filePath() << "as" << copy;
    if (Log *log = Context::logging()) {
        log->initialiseMessage(Log::kFaultCategory, 4, {});
        *log << "The unreadable store %1s was kept as %2s" << filePath() << copy;
        log->sendMessage();
    }
    return true;
}

ConfigLocal::DeferredSaves::DeferredSaves()
{
    ++deferring;
}

ConfigLocal::DeferredSaves::~DeferredSaves()
{
    if (--deferring > 0)
        return;
    for (ConfigLocal *store : liveStores()) {
        if (store->m_dirty)
            store->writeNow();
    }
}

} // namespace Orvel
