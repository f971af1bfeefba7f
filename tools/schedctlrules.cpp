#include "schedctlrules.h"

#include "clock.h"
#include "configlocal.h"
#include "firingpreview.h"
#include "fixedpath.h"
#include "names.h"
#include "reasonwords.h"
#include "rulesetloader.h"
#include "schedctltime.h"
#include "stamp.h"
#include "timeline.h"
#include "timelinepage.h"
#include "toolsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Orvel;
using namespace SchedctlTime;

namespace {

const char kTool[] = "schedctl";

using SchedctlRules::PreviewLine;
using Facts = SchedctlRules::ScheduleFacts;

std::vector<Facts> factsOf(const QList<Schedule> &schedules)
{
    return std::vector<Facts>(schedules.cbegin(), schedules.cend());
}

QJsonValue isoOrNull(const QDateTime &instant)
{
    return instant.isValid() ? QJsonValue(iso(instant)) : QJsonValue();
}

// ---- timers ------------------------------------------------------------------

QStringList timerRow(const Schedule &schedule, const Facts &facts, const QList<int> &excludedBy,
                     const QDateTime &now)
{
    const QDateTime next = schedule.nextOccurrence();
    const QDateTime last = schedule.lastOccurrence();
    const QString left =
        next.isValid() ? span(std::max<qint64>(0, now.secsTo(next))) : QStringLiteral("-");
    const QString passed =
        last.isValid() ? span(std::max<qint64>(0, last.secsTo(now))) + QStringLiteral(" ago")
                       : QStringLiteral("-");
    return {shown(next),
            left,
            shown(last),
            passed,
            facts.name,
            facts.words.firing(schedule.triggerIndex(), schedule.fallbackIndex(), excludedBy)};
}

QJsonObject timerObject(const Schedule &schedule, const Facts &facts, const QList<int> &excludedBy)
{
    return {{"schedule", facts.name},
            {"policy", facts.policy},
            {"operation", facts.operation},
            {"next", isoOrNull(schedule.nextOccurrence())},
            {"last", isoOrNull(schedule.lastOccurrence())},
            {"triggerIndex", schedule.triggerIndex()},
            {"fallbackIndex", schedule.fallbackIndex()},
            {"reason",
             facts.words.firing(schedule.triggerIndex(), schedule.fallbackIndex(), excludedBy)}};
}

// ---- preview -----------------------------------------------------------------

// Whether `a` is not after `b`. Two local times on different offsets compare
// through the zone's rules, each converted anew, for every firing of a long
// preview against the next clock change; days apart, their dates tell (no
// zone moves its clock by two days).
bool notAfter(const QDateTime &a, const QDateTime &b)
{
    constexpr int kDaysApart = 2;
    const qint64 days = a.date().daysTo(b.date());
    return days > kDaysApart || (days >= -kDaysApart && a <= b);
}

void printPreviewTable(const QList<PreviewLine> &lines, const std::vector<Facts> &facts,
                       quint32 ruleSet, const SchedctlRules::Range &range)
{
    ToolSupport::printAligned(int(lines.size()) + 1, [&](int i) -> QStringList {
        if (i == 0)
            return {"TIME", "LEFT", "SCHEDULE", "POLICY", "OPERATION", "FIRED BY"};
        const PreviewLine &line = lines.at(i - 1);
        const QString left = span(range.from.secsTo(line.at));
        if (line.schedule < 0)
            return {shown(line.at), left, line.change.words()};
        const Facts &schedule = facts.at(size_t(line.schedule));
        return {shown(line.at),
                left,
                schedule.name,
                schedule.policy,
                schedule.operation,
                schedule.words.firing(line.trigger, line.fallback, line.excludedBy)};
    });
    const qint64 firings = std::count_if(
        lines.cbegin(), lines.cend(), [](const PreviewLine &line) { return line.schedule >= 0; });
    QString summary = QStringLiteral("%1 in rule set %2 from %3")
                          .arg(SchedctlRules::counted(firings, "firing"))
                          .arg(ruleSet)
                          .arg(shown(range.from));
    if (range.until.isValid())
        summary += QStringLiteral(" until ") + shown(range.until);
    std::printf("%s\n", qPrintable(summary));
}

// Written piece by piece: a long preview is never held as one JSON tree.
void printPreviewJson(const QList<PreviewLine> &lines, const std::vector<Facts> &facts,
                      quint32 ruleSet, const SchedctlRules::Range &range)
{
    const auto text = [](const QJsonValue &value) {
        return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    };
    QJsonArray changes;
    for (const PreviewLine &line : lines) {
        if (line.schedule < 0)
            changes.append(QJsonObject{{"time", iso(line.at)},
                                       {"offsetBefore", line.change.offsetBefore},
                                       {"offsetAfter", line.change.offsetAfter}});
    }
    std::printf("{\"clockChanges\":%s,\"firings\":[", text(changes).constData());
    const char *separator = "";
    for (const PreviewLine &line : lines) {
        if (line.schedule < 0)
            continue;
        const Facts &schedule = facts.at(size_t(line.schedule));
        const QJsonObject firing{
            {"schedule", schedule.name},
            {"policy", schedule.policy},
            {"operation", schedule.operation},
            {"time", iso(line.at)},
            {"triggerIndex", line.trigger},
            {"fallbackIndex", line.fallback},
            {"reason", schedule.words.firing(line.trigger, line.fallback, line.excludedBy)}};
        std::printf("%s%s", separator, text(firing).constData());
        separator = ",";
    }
    std::printf("],\"from\":%s,\"ruleSet\":%u,\"until\":%s}\n", text(iso(range.from)).constData(),
                ruleSet, text(isoOrNull(range.until)).constData());
}

// Exactly the lines scripts have read from the start: name, yyyyMMddhhmmss,
// trigger index, fallback index. Written as the firings are worked out, in
// blocks: a long preview is neither held nor written line by line.
class TsvWriter
{
public:
    explicit TsvWriter(const std::vector<Facts> &facts)
    {
        for (const Facts &schedule : facts)
            m_names.push_back(schedule.name.toUtf8() + '\t');
        m_block.reserve(kBlock);
    }
    ~TsvWriter() { write(); }
    TsvWriter(const TsvWriter &) = delete;
    TsvWriter &operator=(const TsvWriter &) = delete;

    void add(const PreviewLine &line)
    {
        if (line.schedule < 0)
            return;
        m_block += m_names.at(size_t(line.schedule));
        appendStamp(m_block, line.at);
        appendIndex(line.trigger);
        appendIndex(line.fallback);
        m_block += '\n';
        if (m_block.size() >= kBlock)
            write();
    }

private:
    static constexpr qsizetype kBlock = 1 << 16;

    // "\t0", "\t-1": an element's index, or none.
    void appendIndex(int index)
    {
        m_block += index < 0 ? "\t-" : "\t";
        Orvel::Stamp::appendNumber(m_block, unsigned(std::abs(index)), 1);
    }

    void write()
    {
        std::fwrite(m_block.constData(), 1, size_t(m_block.size()), stdout);
        m_block.clear();
    }

    std::vector<QByteArray> m_names;
    QByteArray m_block;
};

} // namespace

namespace SchedctlRules {

ScheduleFacts::ScheduleFacts(const Schedule &schedule)
    : name(schedule.name())
    , words(schedule)
{
    const XmlList data = schedule.eventData();
    data.get(policy, Names::Policy);
    data.get(operation, Names::Operation);
}

QList<PreviewLine> previewLines(FiringPreview &preview, const Range &range, bool &cut)
{
    QList<PreviewLine> lines;
    previewLines(preview, range, cut, [&lines](const PreviewLine &line) { lines.append(line); });
    return lines;
}

void previewLines(FiringPreview &preview, const Range &range, bool &cut,
                  const std::function<void(const PreviewLine &)> &take)
{
    ClockChange change = nextClockChange(range.from);
    const auto changesUpTo = [&](const QDateTime &end) {
        for (; change.isValid() && notAfter(change.at, end); change = nextClockChange(change.at))
            take({change.at, -1, -1, -1, change, {}});
    };
    int fired = 0;
    for (; fired < range.count; ++fired) {
        const FiringPreview::PlannedFiring firing = preview.fireNext();
        if (!firing.at.isValid() || (range.until.isValid() && !notAfter(firing.at, range.until)))
            break;
        changesUpTo(firing.at);
        take({firing.at,
              firing.position,
              firing.triggerIndex,
              firing.fallbackIndex,
              {},
              firing.excludedBy});
    }
    cut = range.until.isValid() && fired == range.count;
    if (range.until.isValid() && !cut)
        changesUpTo(range.until);
}

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
    return ToolSupport::ExitSuccess;
}

ReadOnlyStore::ReadOnlyStore()
    : ConfigLocal(Names::SchedulerStore)
{}

int timers(quint32 ruleSet, Output output)
{
    // Each search is retraced below for its reason, on a clock that stood still.
    const QDateTime now = Clock::now();
    Clock::setNow(now);
    ReadOnlyStore store;
    QList<Schedule> schedules = RuleSetLoader::load(ruleSet, &store);
    std::sort(schedules.begin(), schedules.end());
    const std::vector<Facts> facts = factsOf(schedules);
    SearchRecord record;
    QList<QStringList> rows;
    QJsonArray objects;
    for (int i = 0; i < schedules.size(); ++i) {
        Schedule &schedule = schedules[i];
        if (output != Output::Tsv)
            record.retrace(schedule);
        if (output == Output::Table)
            rows.append(timerRow(schedule, facts.at(size_t(i)), record.excludedBy(), now));
        else if (output == Output::Tsv)
            rows.append({schedule.name(), stamp(schedule.nextOccurrence()),
                         stamp(schedule.lastOccurrence())});
        else
            objects.append(timerObject(schedule, facts.at(size_t(i)), record.excludedBy()));
    }
    if (output == Output::Json) {
        printJson({{"ruleSet", qint64(ruleSet)}, {"timers", objects}});
    } else if (output == Output::Tsv) {
        printTsv(rows);
    } else {
        rows.prepend({"NEXT", "LEFT", "LAST", "PASSED", "SCHEDULE", "FIRED BY"});
        ToolSupport::printAligned(rows);
        std::printf("%s in rule set %u\n", qPrintable(counted(schedules.size(), "schedule")),
                    ruleSet);
    }
    std::fflush(stdout);
    return ToolSupport::ExitSuccess;
}

int preview(quint32 ruleSet, const Range &range, Output output)
{
    FiringPreview preview(ruleSet, range.from);
    if (!range.schedule.isEmpty() && !preview.keepOnly(range.schedule)) {
        ToolSupport::fail(
            kTool,
            QStringLiteral("no schedule \"%1\" in rule set %2").arg(range.schedule).arg(ruleSet));
        return ToolSupport::ExitProblem;
    }
    const std::vector<Facts> facts = factsOf(preview.schedules());
    const auto stopped = [&range](bool cut) {
        if (cut)
            ToolSupport::fail(kTool, QStringLiteral("stopped after %1 firings, before %2")
                                         .arg(range.count)
                                         .arg(shown(range.until)));
    };
    bool cut = false;
    if (output == Output::Tsv) {
        {
            TsvWriter tsv(facts);
            previewLines(preview, range, cut, [&tsv](const PreviewLine &line) { tsv.add(line); });
        }
        stopped(cut);
    } else {
        const QList<PreviewLine> lines = previewLines(preview, range, cut);
        stopped(cut);
        if (output == Output::Table)
            printPreviewTable(lines, facts, ruleSet, range);
        else
            printPreviewJson(lines, facts, ruleSet, range);
    }
    std::fflush(stdout);
    return ToolSupport::ExitSuccess;
}

int timeline(quint32 ruleSet, const QDateTime &from, const QDateTime &end, const QString &file,
             bool page)
{
    FiringPreview preview(ruleSet, from);
    const std::vector<Facts> facts = factsOf(preview.schedules());
    // Every time schedctl handles is whole seconds, so the range up to `end`
    // excluded is the range up to the second before it. One firing past the
    // bound tells that there are too many.
    const Range range{from, kMaxTimelineFirings + 1, end.addSecs(-1), QString()};
    bool cut = false;
    const QList<PreviewLine> lines = previewLines(preview, range, cut);
    if (cut) {
        ToolSupport::fail(kTool, QStringLiteral("more than %1 firings from %2 until %3, too many "
                                                "to draw: draw fewer days, or up to an earlier "
                                                "--until")
                                     .arg(kMaxTimelineFirings)
                                     .arg(shown(from), shown(end)));
        return ToolSupport::ExitProblem;
    }
    const Timeline picture(ruleSet, from, end, preview.schedules(), facts, lines);
    const QByteArray text =
        (page ? TimelinePage::html(picture, facts, lines) : picture.svg(false)).toUtf8();
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        ToolSupport::fail(kTool,
                          QStringLiteral("cannot write %1: %2").arg(file, out.errorString()));
        return ToolSupport::ExitFailure;
    }
    std::printf("%s: %s\n", qPrintable(file), qPrintable(picture.caption()));
    std::fflush(stdout);
    return ToolSupport::ExitSuccess;
}

int triggers(quint32 ruleSet, Output output)
{
    const QList<Schedule> schedules = RuleSetLoader::load(ruleSet, nullptr);
    QList<QStringList> rows;
    for (const Schedule &schedule : schedules) {
        const Facts facts(schedule);
        for (const QString &name : schedule.manualTriggerNames())
            rows.append({name, facts.policy, facts.operation});
    }
    return printTriggers(rows, ruleSet, output);
}

int printTriggers(const QList<QStringList> &rows, quint32 ruleSet, Output output)
{
    const QString where = ruleSet == 0 ? QStringLiteral("the current rule set")
                                       : QStringLiteral("rule set %1").arg(ruleSet);
    if (output == Output::Json) {
        QJsonArray triggers;
        for (const QStringList &row : rows)
            triggers.append(
                QJsonObject{{"name", row.at(0)}, {"policy", row.at(1)}, {"operation", row.at(2)}});
        printJson({{"ruleSet", ruleSet == 0 ? QJsonValue() : QJsonValue(qint64(ruleSet))},
                   {"triggers", triggers}});
    } else if (output == Output::Tsv) {
        printTsv(rows);
    } else if (rows.isEmpty()) {
        std::printf("no manual triggers in %s\n", qPrintable(where));
    } else {
        ToolSupport::printAligned(QList<QStringList>{{"TRIGGER", "POLICY", "OPERATION"}} + rows);
        std::printf("%s in %s\n", qPrintable(counted(rows.size(), "manual trigger")),
                    qPrintable(where));
    }
    std::fflush(stdout);
    return ToolSupport::ExitSuccess;
}

void printTsv(const QList<QStringList> &rows)
{
    for (const QStringList &row : rows)
        std::printf("%s\n", qPrintable(row.join(QLatin1Char('\t'))));
}

void printJson(const QJsonObject &document)
{
    std::printf("%s\n", QJsonDocument(document).toJson(QJsonDocument::Compact).constData());
}

QString counted(qint64 count, const char *noun)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(QLatin1String(noun)).arg(count == 1 ? "" : "s");
}

} // namespace SchedctlRules
