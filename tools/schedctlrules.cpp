#include "schedctlrules.h"

#include "clock.h"
#include "configlocal.h"
#include "firingpreview.h"
#include "fixedpath.h"
#include "msgnames.h"
#include "rulesetloader.h"
#include "toolsupport.h"

#include <algorithm>
#include <cstdio>

using namespace Orvel;

namespace {

const char kTool[] = "schedctl";
const QString kStampFormat = QStringLiteral("yyyyMMddhhmmss");
const QString kShownFormat = QStringLiteral("ddd yyyy-MM-dd hh:mm:ss");

// The scheduler's store, read as it is on disk; what the schedules write back
// while they are built stays in memory.
class ReadOnlyStore : public ConfigLocal
{
public:
    ReadOnlyStore()
        : ConfigLocal(QLatin1String(Names::SchedulerStore))
    {}
    bool save() override { return true; }
};

// "4s", "12min 5s", "3h 20min", "5 days": the two largest units.
QString span(qint64 seconds)
{
    const qint64 days = seconds / 86400;
    const qint64 hours = seconds % 86400 / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    if (days > 0)
        return hours > 0 ? QStringLiteral("%1 days %2h").arg(days).arg(hours)
                         : QStringLiteral("%1 days").arg(days);
    if (hours > 0)
        return QStringLiteral("%1h %2min").arg(hours).arg(minutes);
    if (minutes > 0)
        return QStringLiteral("%1min %2s").arg(minutes).arg(seconds % 60);
    return QStringLiteral("%1s").arg(seconds);
}

QString shown(const QDateTime &instant)
{
    return instant.isValid() ? instant.toString(kShownFormat) : QStringLiteral("-");
}

QStringList timerRow(const Schedule &schedule, const QDateTime &now)
{
    const QDateTime next = schedule.nextOccurrence();
    const QDateTime last = schedule.lastOccurrence();
    const QString left =
        next.isValid() ? span(std::max<qint64>(0, now.secsTo(next))) : QStringLiteral("-");
    const QString passed =
        last.isValid() ? span(std::max<qint64>(0, last.secsTo(now))) + QStringLiteral(" ago")
                       : QStringLiteral("-");
    return {shown(next), left, shown(last), passed, schedule.name()};
}

} // namespace

namespace SchedctlRules {

quint32 ruleSetOrLatest(quint32 given)
{
    const QList<quint32> present = FixedPath::ruleSets();
    if (given == 0 && !present.isEmpty())
        return present.last();
    if (given != 0 && present.contains(given))
        return given;
    ToolSupport::fail(
        kTool, given == 0 ? QStringLiteral("no rule set under %1/rules").arg(FixedPath::home())
                          : QStringLiteral("rule set %1 not found: %2 is not a folder")
                                .arg(given)
                                .arg(FixedPath::rules(given)));
    return 0;
}

int timers(quint32 ruleSet)
{
    ReadOnlyStore store;
    QList<Schedule> schedules = RuleSetLoader::load(ruleSet, &store);
    std::sort(schedules.begin(), schedules.end());
    const QDateTime now = Clock::now();
    QList<QStringList> rows{{"NEXT", "LEFT", "LAST", "PASSED", "SCHEDULE"}};
    for (const Schedule &schedule : std::as_const(schedules))
        rows.append(timerRow(schedule, now));
    ToolSupport::printAligned(rows);
    std::printf("%lld schedules in rule set %u\n", qint64(schedules.size()), ruleSet);
    return 0;
}

int preview(quint32 ruleSet, const QDateTime &from, int count, const QString &only)
{
    FiringPreview preview(ruleSet, from);
    if (!only.isEmpty() && !preview.keepOnly(only)) {
        ToolSupport::fail(kTool,
                          QStringLiteral("no schedule %1 in rule set %2").arg(only).arg(ruleSet));
        return 1;
    }
    for (int fired = 0; fired < count; ++fired) {
        const FiringPreview::Firing firing = preview.fireNext();
        if (!firing.at.isValid())
            break;
        std::printf("%s\t%s\t%d\t%d\n", qPrintable(firing.schedule),
                    qPrintable(firing.at.toString(kStampFormat)), firing.triggerIndex,
                    firing.fallbackIndex);
    }
    std::fflush(stdout);
    return 0;
}

} // namespace SchedctlRules
