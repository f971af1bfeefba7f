#pragma once

#include "trace.h"
#include "walltime.h"

#include <QDateTime>
#include <QTime>

namespace Orvel {
class XmlList;
}
class RulesPlace;

// The daily window of a week-day, month-day or calendar rule: it opens at
// `startTime` and stays open for `duration` seconds, possibly past midnight.
class TimeWindow
{
public:
    // A rule's day search looks at no more days than this: every choice a rule
    // can make occurs within a year, so a longer search would never succeed.
    static constexpr int kMaxSearchDays = 365;

    // Trace texts of the rule that owns the window.
    struct Texts
    {
        const char *file;
        const char *following;
    };

    // 00:00:00 for 0 seconds, the state of a rule before reading.
    TimeWindow() = default;

    // Reads "Time" and "Duration" from an element body. Without "Time" the
    // window is the whole day; with it, a missing or unreadable "Duration"
    // gives one second, and a "Time" that reads as neither "hh:mm" nor
    // "hh:mm:ss" gives 00:00:00. An entry of the wrong shape is passed over
    // and traced, naming `place`.
    static TimeWindow read(const Orvel::XmlList &body, const RulesPlace &place);

    QTime startTime() const { return m_start; }
    quint32 duration() const { return m_seconds; }
    // The window's last second as a time of day, wrapping past midnight.
    QTime lastSecond() const;

    // The first window start not earlier than `from` on a day that `matches`,
    // looking at `from`'s day and the days after it, at most kMaxSearchDays.
    template<typename DayTest>
    [[nodiscard]] QDateTime nextStart(const QDateTime &from, const DayTest &matches,
                                      const Texts &texts) const;

private:
    QTime m_start = QTime(0, 0);
    quint32 m_seconds = 0;
};

template<typename DayTest>
QDateTime TimeWindow::nextStart(const QDateTime &from, const DayTest &matches,
                                const Texts &texts) const
{
    Orvel::TraceLine(3, texts.file, __LINE__) << texts.following << from;
    const QDateTime local = from.toLocalTime();
    QDateTime answer;
    QDate day = local.date();
    for (int examined = 0; examined < kMaxSearchDays && day.isValid();
         ++examined, day = day.addDays(1)) {
        if (!matches(day))
            continue;
        // Compared as instants, not as times of day: on the day the clocks go
        // back a start already passed in the first of the repeated hours must
        // not be answered again in the second.
        const QDateTime candidate = Orvel::WallTime::at(day, m_start);
        if (candidate.isValid() && candidate >= local) {
            answer = candidate;
            break;
        }
    }
    if (answer.isValid())
        Orvel::TraceLine(3, texts.file, __LINE__) << "Next start time" << answer;
    else
        Orvel::TraceLine(2, texts.file, __LINE__) << "No next start time available from" << from;
    return answer;
}
