#pragma once

#include "schedctlrules.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class Schedule;

// The picture `schedctl timeline` draws, as SVG: time runs left to right at
// one scale from a start to an end (excluded), so a day with a clock change
// is an hour narrower or wider than the others. One lane per schedule,
// grouped by policy, each of a fixed height, so that many schedules make a
// taller picture rather than a crowded one: a mark at each firing of a
// preview of the range, coloured by what fired it, with the time and the
// reason as its tooltip; the trigger and fallback windows as light bars and
// the exclusions as hatched bands; day boundaries and clock changes as
// vertical rules; the lane's manual triggers beside it; and a legend.
class Timeline
{
public:
    // What fired a firing, in the order marks are drawn: a trigger's mark
    // lies over an objective's at the same instant.
    enum class Mark
    {
        Objective,
        Fallback,
        Trigger
    };

    // `facts` and `lines` are those of a preview of `schedules` from `from`
    // until just before `end`.
    Timeline(quint32 ruleSet, const QDateTime &from, const QDateTime &end,
             const QList<Schedule> &schedules,
             const std::vector<SchedctlRules::ScheduleFacts> &facts,
             const QList<SchedctlRules::PreviewLine> &lines);

    // "rule set 1: 5 schedules, 12 firings from Thu 2026-12-24 21:00:00 CET
    // until Fri 2026-12-25 00:00:00 CET".
    QString caption() const;
    // What fired `line`, which is a firing.
    Mark markOf(const SchedctlRules::PreviewLine &line) const;
    // The colour of the marks of `mark`, as "#rrggbb".
    static const char *colour(Mark mark);
    // The picture as an SVG document or, `inlined`, as an element of an HTML
    // page: without XML declaration and namespace.
    QString svg(bool inlined) const;

private:
    struct Band
    {
        QDateTime start;
        QDateTime end;
        QString title;
    };
    struct Lane
    {
        int schedule; // its position in the preview's schedules
        QString manual;
        int objective = -1; // the trigger that is its objective
        QList<Band> triggerWindows;
        QList<Band> fallbackWindows;
        QList<Band> exclusions;
        QList<int> firings[3]; // lines, by Mark
    };

    void addWindows(Lane &lane, const Schedule &schedule);
    double x(const QDateTime &instant) const;
    double laneTop(int lane) const;
    double plotBottom() const;
    double width() const;
    int tickStep() const;
    QString defs() const;
    QString legend() const;
    QString axis(double tickBaseline, double dayBaseline) const;
    QString lanes() const;
    QString rules() const;
    QString marks() const;
    QString labels() const;

    quint32 m_ruleSet;
    QDateTime m_from;
    QDateTime m_end;
    std::vector<SchedctlRules::ScheduleFacts> m_facts;
    QList<SchedctlRules::PreviewLine> m_lines;
    QList<Lane> m_laneList;   // by policy, then schedule name
    QList<int> m_groupStarts; // the lanes that begin a policy
    QList<int> m_positionOf;  // a schedule's lane, by its position in the preview
    double m_labelWidth = 0;
    double m_plotWidth = 0;
    double m_manualWidth = 0;
    int m_firingCount = 0;
};
