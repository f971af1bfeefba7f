#include "clock.h"

#include <ctime>

namespace Orvel {

namespace {
QDateTime &frozenNow()
{
    static QDateTime instant;
    return instant;
}
} // namespace

void Clock::settleZone()
{
    if (qEnvironmentVariableIsSet("TZ"))
        return;
    qputenv("TZ", ":/etc/localtime");
    tzset();
}

QDateTime Clock::now()
{
    return isFrozen() ? frozenNow() : QDateTime::currentDateTime();
}

void Clock::setNow(const QDateTime &instant)
{
    frozenNow() = instant.toLocalTime();
}

void Clock::advance(qint64 milliseconds)
{
    if (isFrozen())
        frozenNow() = frozenNow().addMSecs(milliseconds);
}

void Clock::useSystem()
{
    frozenNow() = QDateTime();
}

bool Clock::isFrozen()
{
    return frozenNow().isValid();
}

Clock::Hold::Hold()
    : m_before(frozenNow())
{
    frozenNow() = now();
}

Clock::Hold::~Hold()
{
    frozenNow() = m_before;
}

} // namespace Orvel
