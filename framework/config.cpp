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
    m_file = name.isEmpty() ? path : path + QLatin1Char('/') + name;
    QByteArray bytes;
    if (!FileIo::readRegularFile(m_file, bytes, m_error)) {
        TraceLine(2, "config", __LINE__) << "Cannot read" << m_file << m_error;
        markUnread();
        return false;
    }
    assignText(bytes, m_file, &m_error);
    return bool(*this);
}

bool Config::save()
{
    return write(false);
}

bool Config::write(bool createFolder)
{
    QString reason;
    if (m_file.isEmpty()) {
        TraceLine(0, "config", __LINE__) << "Cannot save a configuration that has no file";
        return false;
    }
    if (createFolder && !FileIo::makeFolder(QFileInfo(m_file).absolutePath(), reason)) {
        TraceLine(0, "config", __LINE__) << "Cannot save" << m_file << reason;
        return false;
    }
    if (!FileIo::writeFileAtomically(m_file, toFileText(), reason)) {
        TraceLine(0, "config", __LINE__) << "Cannot save" << m_file << reason;
        return false;
    }
    return true;
}

} // namespace Orvel
