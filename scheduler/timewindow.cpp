#include "timewindow.h"

#include "rulesplace.h"
#include "xmllist.h"

namespace {

constexpr quint32 kWholeDay = 86400;

QTime parseTimeOfDay(const QString &text)
{
    QTime time = QTime::fromString(text, QStringLiteral("hh:mm"));
    if (!time.isValid())
        time = QTime::fromString(text, QStringLiteral("hh:mm:ss"));
    return time.isValid() ? time : QTime(0, 0);
}

} // namespace

TimeWindow TimeWindow::read(const Orvel::XmlList &body, const RulesPlace &place)
{
    TimeWindow window;
    QString text;
    if (!place.read(body, QStringLiteral("Time"), text)) {
        window.m_seconds = kWholeDay;
        return window;
    }
    window.m_start = parseTimeOfDay(text);
    quint32 duration = 0;
    window.m_seconds = place.read(body, QStringLiteral("Duration"), duration) ? duration : 1;
    return window;
}

QTime TimeWindow::lastSecond() const
{
    if (m_seconds == 0)
        return m_start;
    return m_start.addSecs(int((m_seconds - 1) % kWholeDay));
}
