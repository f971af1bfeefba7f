#include "configlocal.h"

#include "fixedpath.h"
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

} // namespace

ConfigLocal::ConfigLocal(const QString &name)
{
    const QString path = FixedPath::local() + QLatin1Char('/') + name;
    const bool exists = QFileInfo::exists(path);
    if (!load(path, QString()) && exists)
        TraceLine(0, "configlocal", __LINE__)
            << "Store" << path << "is unreadable; starting without its contents."
            << "The next save replaces it";
    liveStores().insert(this);
}

ConfigLocal::~ConfigLocal()
{
    liveStores().erase(this);
    if (dirty)
        writeNow();
}

bool ConfigLocal::save()
{
    if (deferring > 0) {
        dirty = true;
        return true;
    }
    return writeNow();
}

bool ConfigLocal::writeNow()
{
    dirty = false;
    return write(true);
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
        if (store->dirty)
            store->writeNow();
    }
}

} // namespace Orvel
