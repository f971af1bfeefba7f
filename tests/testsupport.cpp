#include "testsupport.h"

#include "log.h"
#include "trace.h"
#include "xmllist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/uio.h>

namespace {
TraceCapture *innermost = nullptr;
}

QList<QByteArrayList> journal;

extern "C" int sd_journal_sendv(const struct iovec *iov, int n)
{
    QByteArrayList fields;
    for (int i = 0; i < n; ++i)
        fields << QByteArray(static_cast<const char *>(iov[i].iov_base), qsizetype(iov[i].iov_len));
    journal << fields;
    return 0;
}

TraceCapture::TraceCapture(int level)
    : level(level)
    , outer(innermost)
{
    innermost = this;
    install();
}

TraceCapture::~TraceCapture()
{
    innermost = outer;
    if (outer) {
        outer->install();
        return;
    }
    qputenv("ORVEL_TRACE_LEVEL", "4");
    Orvel::Trace::configure();
    Orvel::Trace::setSink(nullptr);
}

void TraceCapture::install()
{
    qputenv("ORVEL_TRACE_LEVEL", QByteArray::number(level));
    Orvel::Trace::configure();
    Orvel::Trace::setSink(
        [this](const QByteArray &line) { captured << QString::fromUtf8(line).trimmed(); });
}

QStringList TraceCapture::texts(int upToLevel) const
{
    QStringList result;
    for (const QString &line : captured) {
        if (line.section(QLatin1Char(' '), 1, 1).toInt() <= upToLevel)
            result << line.section(QLatin1Char(' '), 3);
    }
    return result;
}

bool TraceCapture::contains(int level, const QString &source, const QString &text) const
{
    for (const QString &line : captured) {
        if (line.section(QLatin1Char(' '), 1, 1) == QString::number(level) &&
            line.section(QLatin1Char(' '), 2, 2).startsWith(source + QLatin1Char(':')) &&
            line.section(QLatin1Char(' '), 3).startsWith(text))
            return true;
    }
    return false;
}

LogCapture::LogCapture()
{
    Orvel::Log::setSink([this](const QString &line) { captured << line; });
}

LogCapture::~LogCapture()
{
    Orvel::Log::setSink(nullptr);
}

TempHome::TempHome()
    : previous(qgetenv("ORVEL_HOME"))
{
    qputenv("ORVEL_HOME", dir.path().toUtf8());
}

TempHome::~TempHome()
{
    qputenv("ORVEL_HOME", previous); // empty means the default home, as unset does
}

void TempHome::write(const QString &relativePath, const QByteArray &text) const
{
    const QString full = dir.path() + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Orvel::XmlList parsed(const QByteArray &text)
{
    return Orvel::XmlList::fromText(text, QStringLiteral("test"));
}

void Orvel::PrintTo(const XmlList &list, std::ostream *out)
{
    *out << (bool(list) ? "" : "(unread) ") << list.toBinary().toStdString();
}

void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
