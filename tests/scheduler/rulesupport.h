#pragma once

// Helpers shared by the time-rule tests. TZ is Europe/Berlin (set by CTest).

#include "testsupport.h"
#include "xmllist.h"

#include <QDateTime>

#include <ostream>

// Lets GoogleTest print instants in failure messages.
inline void PrintTo(const QDateTime &instant, std::ostream *out)
{
    *out << (instant.isValid() ? instant.toString(Qt::ISODateWithMs).toStdString()
                               : std::string("none"));
}

// A local instant from "yyyy-MM-dd hh:mm:ss" (optionally ".zzz"); "" gives none.
inline QDateTime local(const char *text)
{
    const QString s = QString::fromLatin1(text);
    if (s.isEmpty())
        return QDateTime();
    return QDateTime::fromString(s, s.size() > 19 ? QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")
                                                  : QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// An instant given in UTC, for times that the local clock shows twice or never.
inline QDateTime utc(const char *text)
{
    const QString iso = QString::fromLatin1(text).replace(QLatin1Char(' '), QLatin1Char('T'));
    return QDateTime::fromString(iso + QLatin1Char('Z'), Qt::ISODate).toLocalTime();
}

// An element body from the entries inside its root element.
inline Orvel::XmlList body(const char *entries)
{
    return Orvel::XmlList::fromText(
        "<ScheduleElement>" + QByteArray(entries) + "</ScheduleElement>", QStringLiteral("test"));
}
