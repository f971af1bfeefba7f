#include "schedule.h"

#include "clock.h"
#include "fixedpath.h"
#include "names.h"
#include "searchbudget.h"
#include "searchmemo.h"
#include "stamp.h"
#include "trace.h"
#include "walltime.h"

using Orvel::TraceLine;
using Orvel::XmlList;
using Orvel::XmlListIterator;
using Step = SearchRecord::Step;

namespace {

// An instant that cannot leave the exclusions after this many moves never
// will: every exclusion window has been hopped for a whole year of days.
constexpr int kMaxExclusionMoves = 365;
// A fallback whose next run time is pushed out of its own window this many
// times in a row has nothing left to offer.
constexpr int kMaxFallbackTries = 365;
// Retrying an excluded trigger at its following run times stops after this
// many passes, so a trigger excluded every day cannot spin for ever.
constexpr int kMaxFallbackPasses = 365;

// The store's text form of a time, "yyyyMMddhhmmss" in local time, and back.
// Done by hand: both run for every schedule on every reload, where Qt's
// pattern formatter and parser took a quarter of the time.
QString storedText(const QDateTime &t)
{
    const QDate d = t.date();
    const QTime h = t.time();
    char text[32];
    char *end = Orvel::Stamp::writeNumber(text, unsigned(d.year()), 4);
    for (const int field : {d.month(), d.day(), h.hour(), h.minute(), h.second()})
        end = Orvel::Stamp::writeNumber(end, unsigned(field), 2);
    return QString::fromLatin1(text, end - text);
}

// Anything but fourteen digits naming a real date and time is no time.
//
// Deliberate choice: the record keeps, beside each time, the UTC offset in
// force at that instant, and the time is read back as the instant at which
// the clock showed it with that offset: in the hour the clocks repeat in
// autumn, a firing in either half is read as the one it was, so a restart
// neither clears it as "in the future" (and fires an open window again) nor
// takes it for an hour earlier (and fires an hourly objective again). A time
// without its offset (a record written before offsets were kept), or one the
// clock never showed with it (the zone changed since), is read as the time
// rules read a wall time: its first occurrence, and in the spring gap the
// first valid instant after it.
QDateTime storedTime(const QString &text, const qint32 *utcOffset)
{
    static const int widths[] = {4, 2, 2, 2, 2, 2};
    int fields[6] = {};
    int at = 0;
    for (int i = 0; i < 6; ++i) {
        for (int end = at + widths[i]; at < end; ++at) {
            const char16_t c = at < text.size() ? text.at(at).unicode() : u'x';
            if (c < '0' || c > '9')
                return QDateTime();
            fields[i] = fields[i] * 10 + (c - '0');
        }
    }
    const QDate date(fields[0], fields[1], fields[2]);
    const QTime time(fields[3], fields[4], fields[5]);
    if (at != text.size() || !date.isValid() || !time.isValid())
        return QDateTime();
    if (utcOffset) {
        const QDateTime instant =
            QDateTime(date, time, Qt::UTC).addSecs(-qint64(*utcOffset)).toLocalTime();
        if (instant.offsetFromUtc() == *utcOffset)
            return instant;
    }
    return Orvel::WallTime::at(date, time);
}

// Reads a stored time, with the UTC offset saved beside it when there is
// one; false, and `out` untouched, when the record holds no such text.
bool readStoredTime(const XmlList &record, QLatin1StringView timeKey, QLatin1StringView offsetKey,
                    QDateTime &out)
{
    QString text;
    if (!record.get(text, timeKey))
        return false;
    qint32 offset = 0;
    const bool hasOffset = record.get(offset, offsetKey);
    out = storedTime(text, hasOffset ? &offset : nullptr);
    return true;
}

void setStoredTime(XmlList &record, const QDateTime &t, QLatin1StringView timeKey,
                   QLatin1StringView offsetKey)
{
    if (!t.isValid())
        return;
    record.set(timeKey, storedText(t), XmlList::Replace);
    record.set(offsetKey, qint32(t.offsetFromUtc()), XmlList::Replace);
}

} // namespace

Schedule::Schedule(const QString &name, const QString &fileName, unsigned ruleSet,
                   Orvel::Config *timesStore, bool atomic, const RulesPlace &place)
    : m_ruleSet(ruleSet)
    , m_atomic(atomic)
    , m_name(name)
    , m_timesStore(timesStore)
{
    loadScheduleFile(fileName, place);
}

Schedule::Schedule(const QString &name, unsigned ruleSet, Orvel::Config *timesStore, bool atomic)
    : m_ruleSet(ruleSet)
    , m_atomic(atomic)
    , m_name(name)
    , m_timesStore(timesStore)
{}

Schedule::Schedule(const QString &name, const Schedule &timing, Orvel::Config *timesStore,
                   bool atomic)
    : m_valid(timing.m_valid)
    , m_filePath(timing.m_filePath)
    , m_ruleSet(timing.m_ruleSet)
    , m_triggers(timing.m_triggers)
    , m_exclusions(timing.m_exclusions)
    , m_fallbacks(timing.m_fallbacks)
    , m_atomic(atomic)
    , m_name(name)
    , m_scheduleData(timing.m_scheduleData)
    , m_triggerTarget(timing.m_triggerTarget)
    , m_timesStore(timesStore)
{}

void Schedule::loadScheduleFile(const QString &fileName, const RulesPlace &naming)
{
    if (m_ruleSet == 0) {
        TraceLine(2, "schedule", __LINE__) << "Rules inactive: Rule set 0";
        return;
    }
    // Read aside and dropped once its elements are built.
    Orvel::Config file;
    // A name that would leave the rules folder is refused like a missing file.
    QString refusal;
    const bool named = Orvel::FixedPath::ruleFile(m_ruleSet, fileName, m_filePath, &refusal);
    const RulesPlace place = naming.inFile(m_filePath);
    if (!named || !file.load(m_filePath, QString())) {
        TraceLine(2, "schedule", __LINE__)
            << "Failed to open the schedule file" << (m_filePath.isEmpty() ? fileName : m_filePath);
        if (named)
            place.report(RulesReport::Reason::FileUnreadable, file.errorText());
        else
            naming.report(RulesReport::Reason::FileNameRefused, refusal);
        return;
    }
    if (file.isEmpty()) {
        TraceLine(2, "schedule", __LINE__) << "Empty schedule file" << m_filePath;
        place.report(RulesReport::Reason::FileEmpty);
        return;
    }
    int position = 0;
    for (XmlListIterator it = file.first(); !it.isNull(); it.next()) {
        if (it.name() != QLatin1String("ScheduleElement"))
            continue;
        const QString element = RulesPlace::numbered(it.name(), ++position);
        XmlList entry;
        if (file.get(entry, it))
            addElement(entry, m_ruleSet, place.inside(element));
        else
            place.passedOver(element, "list");
    }
    place.read(file, QStringLiteral("ScheduleData"), m_scheduleData);
    m_valid = !m_triggers.isEmpty();
}

void Schedule::addElement(const XmlList &entry, unsigned ruleSet, const RulesPlace &place)
{
    if (entry.isEmpty())
        return;
    const ScheduleElement element(entry, ruleSet, place);
    if (!element.isValid())
        return;
    switch (element.role()) {
    case ScheduleElement::Role::Trigger:
        m_triggers.append(element);
        m_valid = true;
        break;
    case ScheduleElement::Role::Exclusion:
        m_exclusions.append(element);
        break;
    case ScheduleElement::Role::Fallback:
        m_fallbacks.append(element);
        break;
    case ScheduleElement::Role::None:
        break;
    }
}

bool Schedule::addRepeatPeriod(unsigned unit, unsigned count, unsigned ruleSet)
{
    const ScheduleElement element(unit, count, ruleSet);
    if (!element.isValid())
        return false;
    m_triggers.append(element);
    m_valid = true;
    return true;
}

void Schedule::initiateSchedule()
{
    TraceLine(3, "schedule", __LINE__) << "initiateSchedule" << m_name << m_valid;
    if (!m_valid)
        return;
    loadTimes();
    updateNextOccurrence();
}

void Schedule::markOccurred(const QDateTime &at)
{
    if (!m_valid)
        return;
    m_lastOccurrence = at.isValid() ? at : Orvel::Clock::now();
    updateNextOccurrence();
}

XmlList Schedule::eventData() const
{
    XmlList result = m_scheduleData;
    if (m_triggerIndex < 0 || m_triggerIndex >= m_triggers.size())
        return result;
    XmlList triggerData = m_triggers.at(m_triggerIndex).data();
    if (m_fallbackIndex >= 0 && m_fallbackIndex < m_fallbacks.size()) {
        const XmlList fallbackData = m_fallbacks.at(m_fallbackIndex).data();
        if (!fallbackData.isEmpty())
            triggerData.set(QStringLiteral("FallbackData"), fallbackData, XmlList::Replace);
    }
    if (!triggerData.isEmpty())
        result.set(QStringLiteral("TriggerData"), triggerData, XmlList::Replace);
    return result;
}

// Schedule files hold no repeat periods: a repeating trigger is the objective.
QString Schedule::firingCause() const
{
    if (m_triggerIndex < 0 || m_triggerIndex >= m_triggers.size())
        return QString();
    if (m_fallbackIndex >= 0)
        return QStringLiteral("fallback");
    switch (m_triggers.at(m_triggerIndex).kind()) {
    case ScheduleElement::Kind::ManualTrigger:
        return QStringLiteral("manual");
    case ScheduleElement::Kind::RepeatPeriod:
        return QStringLiteral("objective");
    default:
        return QStringLiteral("trigger");
    }
}

bool Schedule::hasManualTrigger(const QString &name) const
{
    for (const ScheduleElement &trigger : m_triggers) {
        if (trigger.kind() == ScheduleElement::Kind::ManualTrigger && trigger.matches(name))
            return true;
    }
    return false;
}

bool Schedule::triggerManual(const QString &name, const QString &userTag)
{
    bool matched = false;
    for (int i = 0; i < m_triggers.size(); ++i) {
        ScheduleElement &trigger = m_triggers[i];
        if (trigger.kind() != ScheduleElement::Kind::ManualTrigger || !trigger.matches(name))
            continue;
        XmlList data = trigger.data();
        data.set(QStringLiteral("ManualTrigger"), trigger.activationName(), XmlList::Replace);
        data.set(QStringLiteral("UserTag"), userTag, XmlList::Replace);
        trigger.setData(data);
        m_triggerIndex = i;
        m_fallbackIndex = -1;
        m_nextOccurrence = Orvel::Clock::now();
        matched = true;
    }
    return matched;
}

QStringList Schedule::manualTriggerNames() const
{
    QStringList names;
    for (const ScheduleElement &trigger : m_triggers) {
        if (trigger.kind() == ScheduleElement::Kind::ManualTrigger)
            names << trigger.activationName();
    }
    return names;
}

QDateTime Schedule::moveOutOfExclusions(const QDateTime &t) const
{
    SearchBudget budget;
    return moveOutOfExclusions(t, budget);
}

QDateTime Schedule::moveOutOfExclusions(const QDateTime &t, SearchBudget &budget) const
{
    QDateTime r = t;
    int moves = 0;
    for (int i = 0; r.isValid() && i < m_exclusions.size();) {
        const ScheduleElement &exclusion = m_exclusions.at(i);
        const int position = i++;
        if (!budget.take()) {
            r = QDateTime();
            break;
        }
        if (!exclusion.contains(r))
            continue;
        TraceLine(3, "schedule", __LINE__) << "Excluded by exclusion element" << position;
        const QDateTime covered = r;
        r = exclusion.moveOutside(r, &budget);
        if (r.isValid() && ++moves >= kMaxExclusionMoves)
            r = QDateTime();
        else
            i = 0; // a move may land in an earlier exclusion: scan them all again
        record(Step::Excluded, position, covered, r);
    }
    // A search cut short by its steps says so once, for its trigger; the time
    // itself may well have a way out.
    if (!r.isValid() && !budget.isSpent())
        TraceLine(0, "schedule", __LINE__) << "Exclusion of" << t << "lasts for eternity";
    return r;
}

// The first time at or after `from` that `fallback` offers and no exclusion
// forbids, or none.
QDateTime Schedule::fallbackTime(const ScheduleElement &fallback, int position,
                                 const QDateTime &from, SearchBudget &budget) const
{
    if (!budget.take())
        return QDateTime();
    QDateTime offered = fallback.nextRunTime(from, true);
    TraceLine(3, "schedule", __LINE__) << "Fallback" << position << "time" << offered;
    record(Step::FallbackTime, position, offered);
    for (int tries = 0; offered.isValid();) {
        const QDateTime moved = moveOutOfExclusions(offered, budget);
        if (!moved.isValid() || !budget.take())
            return QDateTime();
        if (fallback.contains(moved)) {
            TraceLine(3, "schedule", __LINE__)
                << "Exclusion moved fallback. Still in fallback window" << moved;
            record(Step::FallbackInside, position, moved);
            return moved;
        }
        record(Step::FallbackOutside, position, moved);
        if (++tries >= kMaxFallbackTries || !budget.take())
            return QDateTime();
        offered = fallback.nextRunTime(moved, false);
        record(Step::FallbackTime, position, offered);
    }
    return QDateTime();
}

QDateTime Schedule::findFallback(const ScheduleElement &trigger, const QDateTime &candidate,
                                 int *fallbackIndexOut) const
{
    SearchBudget budget;
    return findFallback(trigger, candidate, fallbackIndexOut, budget);
}

QDateTime Schedule::findFallback(const ScheduleElement &trigger, const QDateTime &candidate,
                                 int *fallbackIndexOut, SearchBudget &budget) const
{
    if (fallbackIndexOut)
        *fallbackIndexOut = -1;
    QDateTime from = candidate;
    for (int pass = 0; pass < kMaxFallbackPasses && !budget.isSpent(); ++pass) {
        QDateTime result;
        int best = -1;
        for (int j = 0; j < m_fallbacks.size(); ++j) {
            const QDateTime offered = fallbackTime(m_fallbacks.at(j), j, from, budget);
            if (offered.isValid() && (!result.isValid() || offered < result)) {
                result = offered;
                best = j;
            }
        }
        if (result.isValid()) {
            TraceLine(3, "schedule", __LINE__) << "Trigger is excluded. Fallback found:" << result;
            record(Step::FallbackChosen, best, result);
            if (fallbackIndexOut)
                *fallbackIndexOut = best;
            return result;
        }
        TraceLine(3, "schedule", __LINE__)
            << "Trigger is excluded. No fallback found. Retry trigger";
        from = budget.take() ? trigger.nextRunTime(from, false) : QDateTime();
        record(Step::Retry, -1, from);
        if (!from.isValid()) {
            TraceLine(2, "schedule", __LINE__) << "Failed to find fallback or next trigger time";
            return QDateTime();
        }
        const QDateTime moved = moveOutOfExclusions(from, budget);
        if (moved.isValid() && budget.take() && trigger.contains(moved)) {
            record(Step::RetryInside, -1, moved);
            return moved;
        }
        if (moved.isValid())
            from = moved;
    }
    return QDateTime();
}

// Checks one trigger's unchecked run time against the exclusions and, where it
// is pushed out of the trigger's window, looks for a fallback.
QDateTime Schedule::checkedTriggerTime(const ScheduleElement &trigger, const QDateTime &unchecked,
                                       int *fallbackIndexOut, SearchBudget &budget) const
{
    QDateTime c = unchecked;
    // A repeat period's time is always decided by the fallbacks when there are any.
    const bool fallbackDecides =
        trigger.kind() == ScheduleElement::Kind::RepeatPeriod && !m_fallbacks.isEmpty();
    if (!fallbackDecides) {
        const QDateTime moved = moveOutOfExclusions(c, budget);
        if (moved == c)
            return c;
        if (moved.isValid()) {
            c = moved;
            const bool inside = budget.take() && trigger.contains(c);
            TraceLine(3, "schedule", __LINE__)
                << "Exclusion moved trigger to" << c
                << (inside ? "Still in trigger window" : "Fallback required");
            record(inside ? Step::InsideWindow : Step::OutsideWindow, -1, c);
            if (inside)
                return c;
        }
    } else {
        record(Step::FallbacksDecide, -1, c);
    }
    const QDateTime fallback = findFallback(trigger, c, fallbackIndexOut, budget);
    if (fallback.isValid())
        return fallback;
    // Only a search that ran its course may fall back on the unchecked time.
    if (budget.isSpent())
        return QDateTime();
    TraceLine(3, "schedule", __LINE__)
        << "Trigger is excluded. No fallback or further trigger found";
    record(Step::Unchecked, -1, c);
    return trigger.nextRunTime(c, false);
}

SearchMemo::Key Schedule::searchKey(int trigger, bool checked, const QDateTime &from,
                                    bool inclusive) const
{
    return SearchMemo::Key{m_triggers, m_exclusions, m_fallbacks, trigger,
                           checked,    from,         inclusive};
}

// The search of one trigger from its unchecked run time, within steps of its
// own: the step its run time took, and those its checks take.
SearchMemo::Outcome Schedule::checkedSearch(const ScheduleElement &trigger,
                                            const QDateTime &unchecked) const
{
    SearchBudget budget;
    budget.take();
    SearchMemo::Outcome outcome;
    outcome.time = checkedTriggerTime(trigger, unchecked, &outcome.fallbackIndex, budget);
    outcome.spent = budget.isSpent();
    return outcome;
}

QDateTime Schedule::getNextOccurrence(const QDateTime &from, bool inclusive)
{
    if (!m_valid || !from.isValid())
        return QDateTime();
    TraceLine(3, "schedule", __LINE__)
        << "Get next occurance for" << m_name << (inclusive ? " inclusive " : " exclusive ")
        << "from" << from;
    record(inclusive ? Step::SearchFrom : Step::SearchAfter, -1, from);
    QDateTime result;
    int bestTrigger = -1;
    int bestFallback = -1;
    // Each trigger searches within steps of its own, so one that spends them
    // all leaves the others their whole search, and the search of a schedule
    // ends within kMaxSteps times its number of triggers.
    for (int i = 0; i < m_triggers.size(); ++i) {
        const ScheduleElement &trigger = m_triggers.at(i);
        const QDateTime unchecked =
            SearchMemo::recall(
                [&] { return searchKey(i, false, from, inclusive); },
                [&] { return SearchMemo::Outcome{trigger.nextRunTime(from, inclusive)}; })
                .time;
        TraceLine(3, "schedule", __LINE__)
            << "Trigger" << i << m_name << "Unchecked next run time" << unchecked;
        record(Step::TriggerTime, i, unchecked);
        // A later trigger must be strictly earlier to win, so ties go to the first.
        if (!unchecked.isValid())
            continue;
        if (result.isValid() && !(unchecked < result)) {
            record(Step::NotEarlier, i, unchecked);
            continue;
        }
        const SearchMemo::Outcome checked =
            SearchMemo::recall([&] { return searchKey(i, true, unchecked, false); },
                               [&] { return checkedSearch(trigger, unchecked); });
        const QDateTime &c = checked.time;
        const int fallback = checked.fallbackIndex;
        if (checked.spent) {
            TraceLine(0, "schedule", __LINE__)
                << "Search for the next occurance of" << m_name << "used up its"
                << SearchBudget::kMaxSteps << "steps on trigger" << i << "- it offers no time";
            record(Step::Spent, i, QDateTime());
            continue;
        }
        record(Step::Offer, i, c, QDateTime(), fallback);
        if (c.isValid() && (!result.isValid() || c < result)) {
            result = c;
            bestTrigger = i;
            bestFallback = fallback;
        }
    }
    m_triggerIndex = bestTrigger;
    m_fallbackIndex = bestFallback;
    record(Step::Answer, bestTrigger, result, QDateTime(), bestFallback);
    if (result.isValid()) {
        TraceLine(3, "schedule", __LINE__) << "Next occurance for" << m_name << ":" << result;
        TraceLine(3, "schedule", __LINE__)
            << "Trigger" << bestTrigger << "Fallback" << bestFallback;
    } else {
        TraceLine(2, "schedule", __LINE__) << "No Next occurance for" << m_name << "!";
    }
    return result;
}

// The next occurrence after the last firing, honouring two deliberate choices:
// - a window start fires once: the weekly and monthly rules count a start equal
//   to the search instant, so a search from a firing at a window start would
//   answer that firing again (and, the window still being open, fire twice);
//   the search is then repeated from one millisecond later;
// - a schedule whose rules offer nothing after its last firing has run out and
//   stays quiet. Searching from now instead would answer "now" in every pass
//   while a last calendar window is open, or for ever for a period that left
//   the date range. It fires again on request or after a reload of its rules.
QDateTime Schedule::searchFromLastOccurrence()
{
    QDateTime next = getNextOccurrence(m_lastOccurrence, false);
    if (next.isValid() && next == m_lastOccurrence)
        next = getNextOccurrence(Orvel::WallTime::after(m_lastOccurrence, 1), false);
    if (!next.isValid())
        TraceLine(2, "schedule", __LINE__) << "No further occurance for" << m_name << "after"
                                           << m_lastOccurrence << "- the schedule has run out";
    return next;
}

QDateTime Schedule::updateNextOccurrence()
{
    const QDateTime now = Orvel::Clock::now();
    if (!m_valid)
        return m_nextOccurrence;
    QDateTime next;
    if (m_lastOccurrence.isValid()) {
        next = searchFromLastOccurrence();
        // Runs missed while the process was down are not made up: start from now.
        if (next.isValid() && next < now)
            next = getNextOccurrence(now, true);
    } else {
        next = getNextOccurrence(now, true);
    }
    m_nextOccurrence = next;
    saveTimes();
    return m_nextOccurrence;
}

bool Schedule::operator<(const Schedule &other) const
{
    bool answer;
    if (!m_nextOccurrence.isValid())
        answer = false;
    else if (!other.m_nextOccurrence.isValid())
        answer = true;
    else if (m_nextOccurrence != other.m_nextOccurrence)
        answer = m_nextOccurrence < other.m_nextOccurrence;
    else
        answer = m_name < other.m_name;
    TraceLine(3, "schedule", __LINE__)
        << "Compare:" << m_nextOccurrence << other.m_nextOccurrence << "returning" << answer;
    return answer;
}

void Schedule::saveTimes()
{
    if (!m_timesStore || !m_atomic || m_name.isEmpty()) {
        TraceLine(3, "schedule", __LINE__) << "saveTimes SKIP" << m_name << "Atomic:" << m_atomic
                                           << (m_timesStore ? "" : "No config");
        return;
    }
    XmlList record;
    setStoredTime(record, m_lastOccurrence, Names::LastOccurance, Names::LastOccuranceUtcOffset);
    setStoredTime(record, m_nextOccurrence, Names::NextOccurance, Names::NextOccuranceUtcOffset);
    QString lastText;
    record.get(lastText, Names::LastOccurance);
    TraceLine(3, "schedule", __LINE__) << "saveTimes" << m_name << lastText;
    // A reload restarts every schedule, and most find the times they stored:
    // a record left as it is keeps the store from being written again.
    XmlList stored;
    if (record.isEmpty() || (m_timesStore->get(stored, m_name) && stored.hasSameEntries(record)))
        return;
    m_timesStore->set(m_name, record, XmlList::Replace);
    m_timesStore->save();
}

void Schedule::loadTimes()
{
    XmlList record;
    if (!m_timesStore || !m_atomic || m_name.isEmpty() || !m_timesStore->get(record, m_name))
        return;
    if (readStoredTime(record, Names::LastOccurance, Names::LastOccuranceUtcOffset,
                       m_lastOccurrence)) {
        TraceLine(3, "schedule", __LINE__)
            << "loadTimes for" << m_name << "Last:" << m_lastOccurrence;
        if (m_lastOccurrence > Orvel::Clock::now()) {
            TraceLine(2, "schedule", __LINE__)
                << "Clear 'last occurance' for" << m_name << "as in the future!";
            m_lastOccurrence = QDateTime();
        }
    }
    if (readStoredTime(record, Names::NextOccurance, Names::NextOccuranceUtcOffset,
                       m_nextOccurrence)) {
        TraceLine(3, "schedule", __LINE__)
            << "loadTimes for" << m_name << "Next:" << m_nextOccurrence;
    }
}
