#include "spawn.h"

#include "dispatcher.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace Orvel {

namespace {

// 0 when `path` is a regular file this process may execute, else the errno.
int checkExecutable(const QString &path)
{
    const QByteArray file = path.toLocal8Bit();
    struct stat info;
    if (file.isEmpty())
        return ENOENT;
    if (::stat(file.constData(), &info) != 0)
        return errno;
    if (!S_ISREG(info.st_mode))
        return EACCES;
    return ::access(file.constData(), X_OK) == 0 ? 0 : errno;
}

} // namespace

bool Spawn::spawn()
{
    m_errorNumber = checkExecutable(m_program);
    if (m_errorNumber != 0)
        return false;
    Dispatcher *transport = Dispatcher::current();
    return transport ? transport->startProgram(m_program, m_arguments, m_errorNumber)
                     : Dispatcher::startDetached(m_program, m_arguments, m_errorNumber);
}

} // namespace Orvel
