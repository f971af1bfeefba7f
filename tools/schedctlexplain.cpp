// schedctl explain: why one schedule fires next when it does. The schedule is
// loaded as `timers` or `preview` loads it, and its search for the next
// occurrence is run again with a record attached (searchrecord.h), on a clock
// that stands still: what is shown is what the search decided, step by step.
// Every text of the explanation stands in this file.

#include "schedctlrules.h"

#include "clock.h"
#include "rulesetloader.h"
#include "searchbudget.h"
#include "toolsupport.h"

#include <QJsonArray>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace Orvel;
using namespace SchedctlTime;
using Step = SearchRecord::Step;
using Entry = SearchRecord::Entry;

namespace {

const char kTool[] = "schedctl";
// A trigger whose search retries for long shows its first and last steps
// only: a year of excluded days would otherwise fill screens.
constexpr int kShownFirstSteps = 12;
constexpr int kShownLastSteps = 6;

// The name of each step in the JSON form, kept stable for scripts.
const char *stepName(Step step)
{
    switch (step) {
    case Step::SearchFrom:
        return "searchFrom";
    case Step::SearchAfter:
        return "searchAfter";
    case Step::TriggerTime:
        return "triggerTime";
    case Step::NotEarlier:
        return "notEarlier";
    case Step::Excluded:
        return "excluded";
    case Step::InsideWindow:
        return "insideWindow";
    case Step::OutsideWindow:
        return "outsideWindow";
    case Step::FallbacksDecide:
        return "fallbacksDecide";
    case Step::FallbackTime:
        return "fallbackTime";
    case Step::FallbackOutside:
        return "fallbackOutside";
    case Step::FallbackInside:
        return "fallbackInside";
    case Step::FallbackChosen:
        return "fallbackChosen";
    case Step::Retry:
        return "retry";
    case Step::RetryInside:
        return "retryInside";
    case Step::Unchecked:
        return "unchecked";
    case Step::Spent:
        return "spent";
    case Step::Offer:
        return "offer";
    case Step::Answer:
        return "answer";
    }
    return "";
}

// One search of the record: its first entry (SearchFrom or SearchAfter), its
// steps, and its Answer.
struct Search
{
    Entry start;
    QList<Entry> steps;
    Entry answer;
};

QList<Search> searchesOf(const SearchRecord &record)
{
    QList<Search> searches;
    for (const Entry &entry : record.entries()) {
        if (entry.step == Step::SearchFrom || entry.step == Step::SearchAfter)
            searches.append({entry, {}, {}});
        else if (entry.step == Step::Answer && !searches.isEmpty())
            searches.last().answer = entry;
        else if (!searches.isEmpty())
            searches.last().steps.append(entry);
    }
    return searches;
}

// Tells one schedule's searches in words, as rows of a label and a text.
class Explanation
{
public:
    Explanation(const Schedule &schedule, const SchedctlRules::ScheduleFacts &facts,
                const QDateTime &now, bool fresh)
        : m_facts(facts)
        , m_now(now)
        , m_fresh(fresh)
        , m_last(schedule.lastOccurrence())
        , m_triggers(schedule.elements(ScheduleElement::Role::Trigger))
    {
        for (const ScheduleElement &e : schedule.elements(ScheduleElement::Role::Exclusion))
            m_exclusionRules << ReasonWords::rule(e);
        for (const ScheduleElement &e : schedule.elements(ScheduleElement::Role::Fallback))
            m_fallbackRules << ReasonWords::rule(e);
    }

    QList<QStringList> rows(const SearchRecord &record, quint32 ruleSet)
    {
        add("Schedule", QStringLiteral("%1: policy %2, operation %3, rule set %4")
                            .arg(m_facts.name, m_facts.policy, m_facts.operation)
                            .arg(ruleSet));
        add("Last firing", lastFiring());
        const QList<Search> searches = searchesOf(record);
        for (const Search &search : searches) {
            add("Search", searchStart(search.start));
            if (&search != &searches.last()) {
                add("", passedOver(search));
                continue;
            }
            for (const QList<Entry> &block : triggerBlocks(search.steps))
                addTrigger(block);
        }
        const Entry answer = searches.isEmpty() ? Entry() : searches.last().answer;
        if (searches.isEmpty())
            add("Search", QStringLiteral("none: the schedule has no trigger it can use"));
        if (m_words.objective() < 0)
            add("Objective", QStringLiteral("none"));
        add("Next firing",
            answer.at.isValid()
                ? QStringLiteral("%1, in %2")
                      .arg(shown(answer.at), span(std::max<qint64>(0, m_now.secsTo(answer.at))))
                : QStringLiteral("none"));
        add("Fired by", m_words.firing(answer.element, answer.fallback, record.excludedBy()));
        return m_rows;
    }

private:
    void add(const char *label, const QString &text)
    {
        m_rows.append({QLatin1String(label), text});
    }

    QString lastFiring() const
    {
        if (m_last.isValid())
            return QStringLiteral("%1, %2 ago")
                .arg(shown(m_last), span(std::max<qint64>(0, m_last.secsTo(m_now))));
        return m_fresh ? QStringLiteral("none: a fresh start at %1, without the store")
                             .arg(shown(m_now))
                       : QStringLiteral("none");
    }

    QString searchStart(const Entry &start) const
    {
        if (start.step == Step::SearchFrom)
            return QStringLiteral("from %1, %2: a trigger window open then fires at once")
                .arg(m_fresh ? QStringLiteral("the start") : QStringLiteral("now"),
                     shown(start.at));
        return QLatin1String(start.at == m_last ? "after the last firing"
                                                : "just after the last firing");
    }

    // Why a search that was not the last did not decide.
    QString passedOver(const Search &search) const
    {
        const QDateTime found = search.answer.at;
        if (found == m_last)
            return QStringLiteral("found the last firing itself: a window start fires only once");
        return QStringLiteral("found %1, which has passed: missed runs are not made up")
            .arg(shown(found));
    }

    // The steps of each trigger, each list starting with its TriggerTime.
    static QList<QList<Entry>> triggerBlocks(const QList<Entry> &steps)
    {
        QList<QList<Entry>> blocks;
        for (const Entry &entry : steps) {
            if (entry.step == Step::TriggerTime || blocks.isEmpty())
                blocks.append(QList<Entry>());
            blocks.last().append(entry);
        }
        return blocks;
    }

    void addTrigger(const QList<Entry> &block)
    {
        const int trigger = block.first().element;
        const bool objective = trigger == m_words.objective();
        const QString rule = ReasonWords::rule(m_triggers.value(trigger));
        m_rows.append({objective ? QStringLiteral("Objective")
                                 : QStringLiteral("Trigger %1").arg(trigger + 1),
                       rule});
        m_named.clear();
        QStringList lines;
        for (int i = 0; i < block.size(); ++i) {
            const QString line = words(block.at(i), i > 0 ? block.at(i - 1) : Entry());
            if (!line.isEmpty())
                lines << line;
        }
        if (lines.size() > kShownFirstSteps + kShownLastSteps + 1)
            lines = lines.mid(0, kShownFirstSteps) +
                    QStringList(QStringLiteral("... %1 more steps ...")
                                    .arg(lines.size() - kShownFirstSteps - kShownLastSteps)) +
                    lines.mid(lines.size() - kShownLastSteps);
        for (const QString &line : lines)
            m_rows.append({QString(), line});
    }

    // "exclusion 1 (last Friday of the month, all day)" the first time, then
    // "exclusion 1": each rule is spelled once per trigger.
    QString element(const char *role, int index, const QStringList &rules)
    {
        const QString name = QStringLiteral("%1 %2").arg(QLatin1String(role)).arg(index + 1);
        if (!m_named.contains(name) && index < rules.size()) {
            m_named.insert(name);
            return QStringLiteral("%1 (%2)").arg(name, rules.at(index));
        }
        return name;
    }

    // The words of one step; empty for a step the line before says enough about.
    QString words(const Entry &e, const Entry &before)
    {
        switch (e.step) {
        case Step::TriggerTime:
            if (e.at.isValid())
                return QStringLiteral("runs next %1").arg(shown(e.at));
            return m_triggers.value(e.element).kind() == ScheduleElement::Kind::ManualTrigger
                       ? QStringLiteral("no time: it fires on request only")
                       : QStringLiteral("no further run time");
        case Step::NotEarlier:
            return QStringLiteral("not earlier than %1: not looked at further").arg(shown(m_best));
        case Step::Excluded:
            return e.to.isValid()
                       ? QStringLiteral("%1 covers %2: moved to %3")
                             .arg(element("exclusion", e.element, m_exclusionRules), shown(e.at),
                                  shown(e.to))
                       : QStringLiteral("%1 covers %2 with no way out")
                             .arg(element("exclusion", e.element, m_exclusionRules), shown(e.at));
        case Step::InsideWindow:
            return QStringLiteral("still inside its window");
        case Step::OutsideWindow:
            return QStringLiteral("outside its window: the fallbacks are asked");
        case Step::FallbacksDecide:
            return QStringLiteral("due %1: the fallbacks say when").arg(shown(e.at));
        case Step::FallbackTime:
            return e.at.isValid()
                       ? QStringLiteral("%1 offers %2")
                             .arg(element("fallback", e.element, m_fallbackRules), shown(e.at))
                       : QStringLiteral("%1 offers no time")
                             .arg(element("fallback", e.element, m_fallbackRules));
        case Step::FallbackOutside:
            return QStringLiteral("outside the window of fallback %1").arg(e.element + 1);
        case Step::FallbackInside:
            return before.step == Step::Excluded
                       ? QStringLiteral("inside the window of fallback %1").arg(e.element + 1)
                       : QString();
        case Step::FallbackChosen:
            return QStringLiteral("fallback %1 has the earliest time").arg(e.element + 1);
        case Step::Retry:
            return e.at.isValid()
                       ? QStringLiteral("no fallback offers a time: the next run, %1, is tried")
                             .arg(shown(e.at))
                       : QStringLiteral("no fallback offers a time, and there is no next run");
        case Step::RetryInside:
            return before.step == Step::Excluded ? QStringLiteral("still inside its window")
                                                 : QString();
        case Step::Unchecked:
            return QStringLiteral(
                "neither a fallback nor a later run is free: the next run after it goes "
                "unchecked");
        case Step::Spent:
            return QStringLiteral("its search used up its %1 steps: it offers no time")
                .arg(SearchBudget::kMaxSteps);
        case Step::Offer:
            return offer(e, before);
        case Step::SearchFrom:
        case Step::SearchAfter:
        case Step::Answer:
            break;
        }
        return QString();
    }

    // What a trigger offers after its checks; the earliest so far wins, and
    // on a tie the trigger that came first.
    QString offer(const Entry &e, const Entry &before)
    {
        if (!e.at.isValid())
            return QStringLiteral("offers no time");
        const bool wins = !m_best.isValid() || e.at < m_best;
        QString text = before.step == Step::TriggerTime ? QStringLiteral("no exclusion covers it")
                       : e.fallback < 0 ? QStringLiteral("offers %1").arg(shown(e.at))
                                        : QStringLiteral("offers %1, through fallback %2")
                                              .arg(shown(e.at))
                                              .arg(e.fallback + 1);
        if (!wins)
            text += QStringLiteral(": not earlier than %1").arg(shown(m_best));
        else
            m_best = e.at;
        return text;
    }

    const SchedctlRules::ScheduleFacts &m_facts;
    const ReasonWords &m_words = m_facts.words;
    QDateTime m_now;
    bool m_fresh;
    QDateTime m_last;
    QList<ScheduleElement> m_triggers;
    QStringList m_exclusionRules;
    QStringList m_fallbackRules;
    QList<QStringList> m_rows;
    QSet<QString> m_named; // the elements whose rule the current trigger spelled
    QDateTime m_best;      // the earliest time a trigger offered so far
};

QJsonValue isoOrNull(const QDateTime &instant)
{
    return instant.isValid() ? QJsonValue(iso(instant)) : QJsonValue();
}

QJsonArray rulesOf(const Schedule &schedule, ScheduleElement::Role role)
{
    QJsonArray rules;
    for (const ScheduleElement &element : schedule.elements(role))
        rules.append(ReasonWords::rule(element));
    return rules;
}

// The trigger a step concerns, and the exclusion or fallback it names (-1
// for none): the entries name the trigger once, where its search begins.
struct Indexes
{
    int trigger = -1;
    int other = -1;
};

QList<Indexes> indexesOf(const QList<Entry> &entries)
{
    QList<Indexes> indexes;
    int trigger = -1;
    for (const Entry &e : entries) {
        switch (e.step) {
        case Step::SearchFrom:
        case Step::SearchAfter:
            trigger = -1;
            indexes.append(Indexes());
            break;
        case Step::TriggerTime:
        case Step::NotEarlier:
        case Step::Spent:
            trigger = e.element;
            indexes.append({trigger, -1});
            break;
        case Step::Offer:
        case Step::Answer:
            indexes.append({e.element, e.fallback});
            break;
        case Step::Excluded:
        case Step::FallbackTime:
        case Step::FallbackOutside:
        case Step::FallbackInside:
        case Step::FallbackChosen:
            indexes.append({trigger, e.element});
            break;
        default:
            indexes.append({trigger, -1});
            break;
        }
    }
    return indexes;
}

// Every step of a search, each naming the trigger it concerns.
QJsonArray stepsOf(const Search &search)
{
    QJsonArray steps;
    const QList<Indexes> indexes = indexesOf(search.steps);
    for (int i = 0; i < search.steps.size(); ++i) {
        const Entry &e = search.steps.at(i);
        QJsonObject step{{"step", stepName(e.step)},
                         {"trigger", indexes.at(i).trigger},
                         {"time", isoOrNull(e.at)}};
        if (e.step == Step::Excluded) {
            step.insert("exclusion", e.element);
            step.insert("movedTo", isoOrNull(e.to));
        } else if (indexes.at(i).other >= 0) {
            step.insert("fallback", indexes.at(i).other);
        }
        steps.append(step);
    }
    return steps;
}

// The record as it stands, one line a step: its name, the trigger, the
// exclusion or fallback, the time and where an exclusion moved it.
QList<QStringList> tsvRows(const SearchRecord &record)
{
    QList<QStringList> rows;
    const QList<Indexes> indexes = indexesOf(record.entries());
    for (int i = 0; i < record.entries().size(); ++i) {
        const Entry &e = record.entries().at(i);
        rows.append({QLatin1String(stepName(e.step)), QString::number(indexes.at(i).trigger),
                     QString::number(indexes.at(i).other), stamp(e.at), stamp(e.to)});
    }
    return rows;
}

QJsonObject document(const Schedule &schedule, const SchedctlRules::ScheduleFacts &facts,
                     const SearchRecord &record, quint32 ruleSet, const QDateTime &from)
{
    QJsonArray searches;
    for (const Search &search : searchesOf(record))
        searches.append(QJsonObject{{"from", iso(search.start.at)},
                                    {"inclusive", search.start.step == Step::SearchFrom},
                                    {"answer", isoOrNull(search.answer.at)},
                                    {"triggerIndex", search.answer.element},
                                    {"fallbackIndex", search.answer.fallback},
                                    {"steps", stepsOf(search)}});
    QJsonArray excludedBy;
    for (int exclusion : record.excludedBy())
        excludedBy.append(exclusion);
    return {{"ruleSet", qint64(ruleSet)},
            {"schedule", facts.name},
            {"policy", facts.policy},
            {"operation", facts.operation},
            {"from", isoOrNull(from)},
            {"last", isoOrNull(schedule.lastOccurrence())},
            {"next", isoOrNull(schedule.nextOccurrence())},
            {"triggerIndex", schedule.triggerIndex()},
            {"fallbackIndex", schedule.fallbackIndex()},
            {"excludedBy", excludedBy},
            {"reason", facts.words.firing(schedule.triggerIndex(), schedule.fallbackIndex(),
                                          record.excludedBy())},
            {"objectiveIndex", facts.words.objective()},
            {"triggers", rulesOf(schedule, ScheduleElement::Role::Trigger)},
            {"exclusions", rulesOf(schedule, ScheduleElement::Role::Exclusion)},
            {"fallbacks", rulesOf(schedule, ScheduleElement::Role::Fallback)},
            {"searches", searches}};
}

} // namespace

namespace SchedctlRules {

int explain(quint32 ruleSet, const QString &name, const QDateTime &from, Output output)
{
    // The search is run again below: the clock must not move in between.
    const QDateTime now = from.isValid() ? from : Clock::now();
    Clock::setNow(now);
    std::optional<ReadOnlyStore> store;
    if (!from.isValid())
        store.emplace();
    QList<Schedule> schedules = RuleSetLoader::load(ruleSet, store ? &*store : nullptr);
    const auto found = std::find_if(schedules.begin(), schedules.end(),
                                    [&name](const Schedule &s) { return s.name() == name; });
    if (found == schedules.end()) {
        ToolSupport::fail(
            kTool, QStringLiteral("no schedule \"%1\" in rule set %2").arg(name).arg(ruleSet));
        return ToolSupport::ExitProblem;
    }
    SearchRecord record;
    record.retrace(*found);
    const ScheduleFacts facts(*found);
    if (output == Output::Json)
        printJson(document(*found, facts, record, ruleSet, from));
    else if (output == Output::Tsv)
        printTsv(tsvRows(record));
    else
        ToolSupport::printAligned(
            Explanation(*found, facts, now, from.isValid()).rows(record, ruleSet));
    std::fflush(stdout);
    return ToolSupport::ExitSuccess;
}

} // namespace SchedctlRules
