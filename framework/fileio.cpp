#include "fileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Orvel::FileIo {

namespace {

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Closes a descriptor on every way out of a function.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool readRegularFile(const QString &path, QByteArray &bytes, QString &reason)
{
    const QByteArray name = QFile::encodeName(path);
    Descriptor fd(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        reason = errnoText();
        return false;
    }
    struct stat info
    {
    };
    if (::fstat(fd.get(), &info) != 0) {
        reason = errnoText();
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = QStringLiteral("not a regular file");
        return false;
    }
    if (info.st_size > kMaxFileBytes) {
        reason = QStringLiteral("larger than %1 bytes").arg(kMaxFileBytes);
        return false;
    }
    QByteArray content;
    content.reserve(qsizetype(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reason = errnoText();
            return false;
        }
        if (n == 0)
            break;
        if (content.size() + n > kMaxFileBytes) {
            reason = QStringLiteral("larger than %1 bytes").arg(kMaxFileBytes);
            return false;
        }
        content.append(buffer, n);
    }
    bytes = content;
    return true;
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString &reason)
{
    const QFileInfo target(path);
    QByteArray temp = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") +
                                        target.fileName() + QStringLiteral(".XXXXXX"));
    Descriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        reason = errnoText();
        return false;
    }
    const bool written =
        writeAll(fd.get(), bytes) && ::fchmod(fd.get(), 0644) == 0 && ::fsync(fd.get()) == 0;
    if (!written) {
        reason = errnoText();
        ::unlink(temp.constData());
        return false;
    }
    ::close(fd.release());
    if (::rename(temp.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        reason = errnoText();
        ::unlink(temp.constData());
        return false;
    }
    // Make the rename itself durable.
    Descriptor folder(::open(QFile::encodeName(target.absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());
    return true;
}

bool moveFile(const QString &from, const QString &to, QString &reason)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    reason = errnoText();
    return false;
}

bool makeFolder(const QString &path, QString &reason)
{
    if (QDir().mkpath(path))
        return true;
    reason = QStringLiteral("cannot create folder");
    return false;
}

} // namespace Orvel::FileIo
