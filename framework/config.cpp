#include "config.h"

#include "fileio.h"
#include "trace.h"

#include <QFileInfo>

namespace Orvel {

Config::Config(const QString &path, const QString &name)
{
    load(path, name);
}

bool Config::load(const QString &path, const QString &name)
{
    file = name.isEmpty() ? path : path + QLatin1Char('/') + name;
    QByteArray bytes;
    QString reason;
    if (!FileIo::readRegularFile(file, bytes, reason)) {
        TraceLine(2, "config", __LINE__) << "Cannot read" << file << reason;
        markUnread();
        return false;
    }
    assignText(bytes, file);
    return bool(*this);
}

bool Config::save()
{
    return write(false);
}

bool Config::write(bool createFolder)
{
    QString reason;
    if (file.isEmpty()) {
        TraceLine(0, "config", __LINE__) << "Cannot save a configuration that has no file";
        return false;
    }
    if (createFolder && !FileIo::makeFolder(QFileInfo(file).absolutePath(), reason)) {
        TraceLine(0, "config", __LINE__) << "Cannot save" << file << reason;
        return false;
    }
    if (!FileIo::writeFileAtomically(file, toFileText(), reason)) {
        TraceLine(0, "config", __LINE__) << "Cannot save" << file << reason;
        return false;
    }
    return true;
}

} // namespace Orvel
