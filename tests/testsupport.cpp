#include "testsupport.h"

#include "log.h"
#include "trace.h"
#include "xmllist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TraceCapture::TraceCapture()
{
    Orvel::Trace::configure();
    Orvel::Trace::setSink(
        [this](const QByteArray &line) { captured << QString::fromUtf8(line).trimmed(); });
}

TraceCapture::~TraceCapture()
{
    Orvel::Trace::setSink(nullptr);
}

QStringList TraceCapture::texts() const
{
    QStringList result;
    for (const QString &line : captured)
        result << line.section(QLatin1Char(' '), 3);
    return result;
}

bool TraceCapture::contains(const QString &text) const
{
    return texts().contains(text);
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
    if (previous.isEmpty())
        qunsetenv("ORVEL_HOME");
    else
        qputenv("ORVEL_HOME", previous);
}

void TempHome::write(const QString &relativePath, const QByteArray &text) const
{
    const QString full = dir.path() + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

void Orvel::PrintTo(const XmlList &list, std::ostream *out)
{
    *out << (bool(list) ? "" : "(unread) ") << list.toBinary().toStdString();
}

void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
