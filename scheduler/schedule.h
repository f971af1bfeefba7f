#pragma once

#include "config.h"
#include "scheduleelement.h"
#include "searchmemo.h"
#include "searchrecord.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

class SearchBudget;

// The timetable of one operation of one policy: its trigger, exclusion and
// fallback elements, the data its events carry, and when it last fired and
// fires next.
//
// Deliberate choice: the schedule keeps the elements read from its file, not
// the file's content, which is freed once read; and schedules timed alike
// share their elements (sharedtimings.h). The element lists are implicitly
// shared values: a write through one schedule copies them first, so each
// behaves as if it held a copy of its own.
//
// Occurrence times persist in the schedule list's store under the schedule's
// name, so that a restart continues from the last real firing.
class Schedule : public Orvel::Config
{
public:
    Schedule() = default;
    // `place` is the entry that names the file, for its findings (rulesplace.h).
    Schedule(const QString &name, const QString &fileName, unsigned ruleSet,
             Orvel::Config *timesStore, bool atomic, const RulesPlace &place = RulesPlace());
    Schedule(const QString &name, unsigned ruleSet, Orvel::Config *timesStore, bool atomic);
    // The schedule `name` with the file, rule set, elements and data of
    // `timing`, and no times yet.
    Schedule(const QString &name, const Schedule &timing, Orvel::Config *timesStore, bool atomic);

    // `place` names the element in trace lines about entries of the wrong shape.
    void addElement(const Orvel::XmlList &entry, unsigned ruleSet,
                    const RulesPlace &place = RulesPlace());
    bool addRepeatPeriod(unsigned unit, unsigned count, unsigned ruleSet);
    void setScheduleData(const Orvel::XmlList &data) { m_scheduleData = data; }
    void setTriggerTarget(const Orvel::XmlList &target) { m_triggerTarget = target; }
    Orvel::XmlList triggerTarget() const { return m_triggerTarget; }

    bool isValid() const { return m_valid; }
    QString name() const { return m_name; }
    QDateTime nextOccurrence() const { return m_nextOccurrence; }
    QDateTime lastOccurrence() const { return m_lastOccurrence; }
    int triggerIndex() const { return m_triggerIndex; }
    int fallbackIndex() const { return m_fallbackIndex; }
    // The triggers, exclusions or fallbacks, in the order they were added;
    // the indexes above count within these lists.
    QList<ScheduleElement> elements(ScheduleElement::Role role) const
    {
        switch (role) {
        case ScheduleElement::Role::Trigger:
            return m_triggers;
        case ScheduleElement::Role::Exclusion:
            return m_exclusions;
        case ScheduleElement::Role::Fallback:
            return m_fallbacks;
        case ScheduleElement::Role::None:
            break;
        }
        return {};
    }
    // What the next occurrence comes from: "trigger", "fallback", "objective"
    // (the recovery point objective) or "manual"; empty when there is none.
    QString firingCause() const;

    // Every search for the next occurrence fills `record` while it is set;
    // without one (the default) the searches record nothing and pay nothing.
    void setSearchRecord(SearchRecord *record) { m_record = record; }

    void initiateSchedule();
    void markOccurred(const QDateTime &at);
    Orvel::XmlList eventData() const;

    bool hasManualTrigger(const QString &name) const;
    bool triggerManual(const QString &name, const QString &userTag);
    QStringList manualTriggerNames() const;

    [[nodiscard]] QDateTime getNextOccurrence(const QDateTime &from, bool inclusive);
    QDateTime updateNextOccurrence();
    [[nodiscard]] QDateTime moveOutOfExclusions(const QDateTime &t) const;
    [[nodiscard]] QDateTime findFallback(const ScheduleElement &trigger, const QDateTime &candidate,
                                         int *fallbackIndexOut) const;
    bool operator<(const Schedule &other) const;

    void saveTimes();
    void loadTimes();

private:
    void loadScheduleFile(const QString &fileName, const RulesPlace &naming);
    QDateTime searchFromLastOccurrence();
    // The searches above, each within the steps of one `budget` (searchbudget.h).
    QDateTime moveOutOfExclusions(const QDateTime &t, SearchBudget &budget) const;
    QDateTime findFallback(const ScheduleElement &trigger, const QDateTime &candidate,
                           int *fallbackIndexOut, SearchBudget &budget) const;
    QDateTime checkedTriggerTime(const ScheduleElement &trigger, const QDateTime &unchecked,
                                 int *fallbackIndexOut, SearchBudget &budget) const;
    QDateTime fallbackTime(const ScheduleElement &fallback, int position, const QDateTime &from,
                           SearchBudget &budget) const;
    void record(SearchRecord::Step step, int element, const QDateTime &at,
                const QDateTime &to = QDateTime(), int fallback = -1) const
    {
        if (m_record)
            m_record->add(step, element, at, to, fallback);
    }
    // The key and the search that SearchMemo shares between schedules.
    SearchMemo::Key searchKey(int trigger, bool checked, const QDateTime &from,
                              bool inclusive) const;
    SearchMemo::Outcome checkedSearch(const ScheduleElement &trigger,
                                      const QDateTime &unchecked) const;

    bool m_valid = false;
    QString m_filePath;
    unsigned m_ruleSet = 0;
    QList<ScheduleElement> m_triggers;
    QList<ScheduleElement> m_exclusions;
    QList<ScheduleElement> m_fallbacks;
    QDateTime m_nextOccurrence;
    QDateTime m_lastOccurrence;
    int m_triggerIndex = -1;
    int m_fallbackIndex = -1;
    bool m_atomic = false;
    QString m_name;
    Orvel::XmlList m_scheduleData;
    Orvel::XmlList m_triggerTarget;
    Orvel::Config *m_timesStore = nullptr;
    SearchRecord *m_record = nullptr;
};
