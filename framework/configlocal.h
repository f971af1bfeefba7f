#pragma once

#include "config.h"

namespace Orvel {

// The process's own store, $ORVEL_HOME/local/<name>; the file and its folder
// are created on the first save.
//
// The store is saved often (once per schedule whose times change), so while a
// message is being delivered save() only marks it dirty. The delivery loop
// opens a DeferredSaves scope around each delivery; when the scope ends every
// dirty store is written once. A dirty store is also written when destroyed.
// A save that fails leaves the store dirty, so the end of the next delivery
// tries again.
//
// A store file that exists but cannot be read is never overwritten unseen:
// the store starts empty, and the first save moves the file to <name>.bad
// (replacing an older one) before it writes, with a level-0 trace line and an
// event-log line naming the copy.
class ConfigLocal : public Config
{
public:
    explicit ConfigLocal(const QString &name);
    ~ConfigLocal() override;
    ConfigLocal(const ConfigLocal &) = delete;
    ConfigLocal &operator=(const ConfigLocal &) = delete;

    bool save() override;
    bool isDirty() const { return m_dirty; }
    // Writes a dirty store at once, inside a delivery too; true when nothing
    // is left to write.
    bool flush() { return !m_dirty || writeNow(); }

    class DeferredSaves
    {
    public:
        DeferredSaves();
        ~DeferredSaves();
        DeferredSaves(const DeferredSaves &) = delete;
        DeferredSaves &operator=(const DeferredSaves &) = delete;
    };

private:
    bool writeNow();
    bool keepUnreadableFile();

    bool m_dirty = false;
    // The file was there but could not be read, and has not been kept aside yet.
    bool m_unreadable = false;
};

} // namespace Orvel
