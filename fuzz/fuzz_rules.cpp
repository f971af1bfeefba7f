// Feeds a rules folder made from the input to the scheduler's own loading and
// policy parsing, then previews a few dozen firings. Whatever the files hold,
// nothing may crash, leak, overflow or hang, and the firings must keep the
// promises the timer loop relies on:
// - no schedule is due before the instant the rules were loaded at;
// - firings never go back in time;
// - a schedule never fires twice at one instant (a window start fires once);
// - every firing names the trigger that caused it.
//
// The input is split at lines "====" into the files below, in this order;
// files the input does not reach are missing. An optional first line
// "@yyyyMMddhhmmss" sets the local instant the rules are loaded at.

#include "clock.h"
#include "firingpreview.h"
#include "fuzzsupport.h"

#include <QFile>
#include <QHash>

using FuzzSupport::shown;

namespace {

// Enough firings to pass several windows, fallbacks and a day's change of
// the clocks, few enough to keep hundreds of inputs a second.
constexpr int kFirings = 40;

const char *const kFiles[] = {"dispatcherrules.cfg", "policyrules.cfg", "a.xml", "sub/b.xml",
                              "cal.cfg"};
const QByteArray kSeparator = "\n====\n";
const QByteArray kStartMark = "@";
const QString kStampFormat = QStringLiteral("yyyyMMddhhmmss");

// A Saturday before the clocks go back in Europe/Berlin, so that the
// preview of an input without a start line crosses the repeated hour.
QDateTime defaultStart()
{
    return QDateTime(QDate(2026, 10, 24), QTime(22, 0));
}

[[noreturn]] void fail(const char *what, const QString &detail)
{
    FuzzSupport::fail("fuzz_rules", what, detail);
}

QDateTime takeStart(QByteArray &input)
{
    if (!input.startsWith(kStartMark))
        return defaultStart();
    const qsizetype end = input.indexOf('\n');
    const QByteArray stamp = input.mid(1, end < 0 ? -1 : end - 1);
    input.remove(0, end < 0 ? input.size() : end + 1);
    const QDateTime start = QDateTime::fromString(QString::fromLatin1(stamp), kStampFormat);
    return start.isValid() ? start : defaultStart();
}

void writeFiles(const QByteArray &input)
{
    qsizetype from = 0;
    for (const char *name : kFiles) {
        if (from < 0) {
            QFile::remove(FuzzSupport::rulesFolder() + QLatin1String(name));
            continue;
        }
        const qsizetype end = input.indexOf(kSeparator, from);
        FuzzSupport::writeRulesFile(QLatin1String(name),
                                    input.mid(from, end < 0 ? -1 : end - from));
        from = end < 0 ? -1 : end + kSeparator.size();
    }
}

QString shown(const QString &name, const QDateTime &at)
{
    return name + QLatin1Char(' ') + shown(at);
}

void checkLoaded(const FiringPreview &preview, const QDateTime &start)
{
    for (const Schedule &schedule : preview.schedules()) {
        const QDateTime next = schedule.nextOccurrence();
        if (next.isValid() && next < start)
            fail("due before the rules were loaded", shown(schedule.name(), next));
    }
}

void checkFirings(FiringPreview &preview, const QDateTime &start)
{
    // Names held by one schedule only: those must fire at a new instant each time.
    QHash<QString, int> holders;
    for (const Schedule &schedule : preview.schedules())
        ++holders[schedule.name()];
    QHash<QString, QDateTime> lastOf;
    QDateTime previous = start;
    for (int fired = 0; fired < kFirings; ++fired) {
        const FiringPreview::PlannedFiring firing = preview.fireNext();
        if (!firing.at.isValid())
            return;
        if (firing.at < previous)
            fail("firing goes back in time",
                 shown(firing.schedule, firing.at) + " after " + shown(previous));
        if (holders.value(firing.schedule) == 1 && lastOf.value(firing.schedule) == firing.at)
            fail("fires twice at one instant", shown(firing.schedule, firing.at));
        if (!holders.contains(firing.schedule) || firing.triggerIndex < 0 ||
            firing.fallbackIndex < -1)
            fail("firing without its schedule or trigger", shown(firing.schedule, firing.at));
        lastOf.insert(firing.schedule, firing.at);
        previous = firing.at;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QDateTime start = takeStart(input);
    writeFiles(input);
    FiringPreview preview(FuzzSupport::kRuleSet, start);
    checkLoaded(preview, start);
    checkFirings(preview, start);
    Orvel::Clock::useSystem();
    return 0;
}
