#include "policyparser.h"

#include "names.h"
#include "repeatperiod.h"
#include "trace.h"

#include <QHash>
#include <QStringBuilder>

#include <algorithm>

using namespace Orvel;

namespace {

// A trace line shows no more of a name that is refused for its length.
constexpr int kShownNameLength = 64;

// A text read from the policy rules shares the storage of their tree. The
// schedule keeps a copy of its own instead: one shared text on each page of
// the dropped tree would keep the whole tree's pages held (some 12 MB at
// 10,000 policies).
QString ownCopy(const QString &text)
{
    return QString(text.constData(), text.size());
}

void traceInvalidObjective()
{
    TraceLine(0, "policyparser", __LINE__) << "Invalid Recovery point objective in policyrules";
}

// A count is plain decimal digits; anything else, or a value beyond 32 bits,
// counts as 0.
quint32 countFrom(QStringView text)
{
    const bool digits = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    bool ok = false;
    const quint32 count = text.toUInt(&ok, 10);
    return digits && ok ? count : 0;
}

} // namespace

PolicyParser::PolicyParser(quint32 ruleSet, Config *timesStore)
    : m_timesStore(timesStore)
    , m_timings(ruleSet)
{}

PolicyParser::Objective PolicyParser::parseObjective(const QString &text)
{
    const QList<QStringView> parts = QStringView(text).split(u' ', Qt::SkipEmptyParts);
    Objective objective;
    if (parts.size() != 2)
        return objective;
    objective.count = countFrom(parts.first());
    objective.unit = RepeatPeriod::unitFromName(parts.last());
    return objective;
}

// Every schedule of a kind holds the same target, built once: copies share
// its entries.
XmlList PolicyParser::triggerTarget(bool snapshot)
{
    static const XmlList service = buildTriggerTarget(false);
    static const XmlList program = buildTriggerTarget(true);
    return snapshot ? program : service;
}

XmlList PolicyParser::buildTriggerTarget(bool snapshot)
{
    XmlList target;
    target.set(Names::SchedulerTriggerService, !snapshot, XmlList::Replace);
    if (snapshot) {
        target.set(Names::SchedulerTriggerProcess, Names::SnapshotProgram, XmlList::Replace);
        target.set(Names::SchedulerTriggerType, Names::SnapshotEvent, XmlList::Replace);
    } else {
        target.set(Names::SchedulerTriggerProcess, Names::Distributor, XmlList::Replace);
        target.set(Names::SchedulerTriggerGroup, Names::Distributor, XmlList::Replace);
        target.set(Names::SchedulerTriggerType, Names::BackupEvent, XmlList::Replace);
    }
    return target;
}

QList<Schedule> PolicyParser::parsePolicy(const XmlList &record, const RulesPlace &place)
{
    QList<Schedule> made;
    PolicyHead policy;
    if (!record.get(policy.name, Names::Policy) ||
        !record.get(policy.firstRule, Names::FirstRule)) {
        TraceLine(2, "policyparser", __LINE__) << "Attempt to parse policy with no name or rule id";
        place.report(RulesReport::Reason::PolicyWithoutFirstRule);
        return made;
    }
    place.read(record, Names::Mode, policy.mode);
    QHash<QString, int> operations; // how many of each kind so far
    for (XmlListIterator it = record.first(); !it.isNull(); it.next()) {
        const QString kind = it.name();
        const bool snapshot = kind == Names::LocalSnapshot;
        if (!(snapshot || kind == Names::Backup || kind == Names::Cdp))
            continue;
        const QString label = RulesPlace::numbered(kind, ++operations[kind]);
        XmlList list;
        if (record.get(list, it))
            parseOperation(policy, list, triggerTarget(snapshot), made, place.inside(label));
        else
            place.passedOver(label, "list");
    }
    return made;
}

// The name is never empty: it holds three "-" at least.
QString PolicyParser::scheduleName(const PolicyHead &policy, const QString &operation, quint32 id,
                                   const RulesPlace &place)
{
    const QString name = policy.name % QLatin1Char('-') % QString::number(policy.firstRule) %
                         QLatin1Char('-') % operation % QLatin1Char('-') % QString::number(id);
    if (name.size() <= kMaxScheduleNameLength)
        return name;
    TraceLine(2, "policyparser", __LINE__)
        << "Refused an operation of policy" << policy.name.left(kShownNameLength)
        << "whose schedule name has" << name.size() << "characters, more than"
        << kMaxScheduleNameLength;
    place.report(RulesReport::Reason::ScheduleNameTooLong, QString::number(name.size()));
    return QString();
}

void PolicyParser::parseOperation(const PolicyHead &policy, const XmlList &list,
                                  const XmlList &target, QList<Schedule> &made,
                                  const RulesPlace &place)
{
    QString name;
    quint32 id = 0;
    QString objective;
    place.read(list, Names::Name, name);
    place.read(list, Names::OperationId, id);
    place.read(list, Names::RecoveryPointObjective, objective);

    const RulesPlace here = place.forOperation(name);
    Operation operation;
    operation.scheduleName = scheduleName(policy, name, id, here);
    if (operation.scheduleName.isEmpty())
        return;
    operation.objective = parseObjective(objective);
    operation.data.set(Names::Policy, ownCopy(policy.name), XmlList::Replace);
    operation.data.set(Names::RuleId, policy.firstRule, XmlList::Replace);
    operation.data.set(Names::Operation, ownCopy(name), XmlList::Replace);
    operation.data.set(Names::OperationId, id, XmlList::Replace);
    if (!policy.mode.isEmpty())
        operation.data.set(Names::CommsMode, ownCopy(policy.mode), XmlList::Replace);
    operation.target = target;

    QString fileName;
    if (place.read(list, Names::ScheduleFile, fileName) &&
        addFromFile(policy, operation, fileName, made, here))
        reportObjective(operation, objective, here);
    else
        addObjectiveOnly(operation, made, here);
}

// An operation that runs on its schedule file alone: without an objective it
// is only traced, while an objective it cannot use is one it goes without.
void PolicyParser::reportObjective(const Operation &operation, const QString &text,
                                   const RulesPlace &place)
{
    if (operation.objective.unit != 0 && operation.objective.count != 0)
        return;
    if (text.isEmpty())
        place.report(RulesReport::Reason::ObjectiveMissing);
    else
        place.report(RulesReport::Reason::ObjectiveUnusable, text, Names::RecoveryPointObjective);
}

// The objective joins the file's triggers before the schedule is judged, so a
// file without triggers still makes a valid schedule with a usable objective.
bool PolicyParser::addFromFile(const PolicyHead &policy, const Operation &operation,
                               const QString &fileName, QList<Schedule> &made,
                               const RulesPlace &place)
{
    const Objective &objective = operation.objective;
    Schedule schedule(operation.scheduleName,
                      m_timings.fromFile(fileName, objective.unit, objective.count,
                                         place.inside(Names::ScheduleFile)),
                      m_timesStore, true);
    if (objective.unit == 0)
        traceInvalidObjective();
    if (!schedule.isValid()) {
        TraceLine(0, "policyparser", __LINE__)
            << "Invalid backup schedule for policy" << policy.name << "RuleId" << policy.firstRule
            << "Schedule" << fileName;
        place.report(RulesReport::Reason::ScheduleFileUnusable, fileName, Names::ScheduleFile);
        return false;
    }
    complete(schedule, operation);
    TraceLine(3, "policyparser", __LINE__)
        << "Add backup schedule" << operation.scheduleName << "Schedule file" << fileName;
    made.append(schedule);
    return true;
}

// A count of 0 with a known unit still adds the schedule: it is not valid and
// never fires, but it shows up wherever the schedules are listed.
void PolicyParser::addObjectiveOnly(const Operation &operation, QList<Schedule> &made,
                                    const RulesPlace &place)
{
    const Objective &objective = operation.objective;
    if (objective.unit == 0) {
        traceInvalidObjective();
        place.report(RulesReport::Reason::OperationWithoutTiming);
        return;
    }
    Schedule schedule(operation.scheduleName,
                      m_timings.objectiveOnly(objective.unit, objective.count), m_timesStore, true);
    if (!schedule.isValid())
        place.report(RulesReport::Reason::OperationWithoutTiming);
    complete(schedule, operation);
    TraceLine(3, "policyparser", __LINE__)
        << "Add backup schedule" << operation.scheduleName << "RPO only";
    made.append(schedule);
}

void PolicyParser::complete(Schedule &schedule, const Operation &operation)
{
    schedule.setScheduleData(operation.data);
    schedule.setTriggerTarget(operation.target);
    schedule.initiateSchedule();
}
