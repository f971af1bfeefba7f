#include "schedulelist.h"

#include "clock.h"
#include "context.h"
#include "heap.h"
#include "log.h"
#include "msg.h"
#include "names.h"
#include "rulesetloader.h"
#include "timer.h"
#include "trace.h"
#include "triggerfiring.h"

#include <algorithm>
#include <utility>
#include <vector>

using namespace Orvel;

namespace {

constexpr quint32 kDefaultMaxWaitSeconds = 900;
// The timer counts unsigned 32-bit milliseconds: 4294967 s is the longest
// whole-second wait that fits.
constexpr quint32 kLongestMaxWaitSeconds = 4294967;
constexpr quint32 kSecondsPerDay = 86400;
// A pass fires what is due. A burst (a first start with thousands of due
// objectives) is split into passes of this many firings, each a delivery of
// its own, so that requests queued meanwhile are answered between passes
// and the store is written once per pass. A request waits for the rest of a
// pass, the store write and the posts queued ahead of its answer: passes of
// 1000 firings kept it waiting well past 100 ms on a busy 2-core machine.
constexpr int kMaxFiringsPerPass = 500;

const QString kTimer = Names::SchedulerTimer;

// Deliberate choice: a "MaxWaitSeconds" of 0 would arm a timer that expires
// at once, over and over, and one above 4294967 does not fit the timer's
// 32-bit milliseconds; both are clamped into 1..4294967, and the clamp is
// traced as a fault so that the operator fixes the store.
quint32 readMaxWaitSeconds(const ConfigLocal &config)
{
    quint32 seconds = kDefaultMaxWaitSeconds;
    config.get(seconds, Names::MaxWaitSeconds);
    const quint32 used = std::clamp(seconds, quint32(1), kLongestMaxWaitSeconds);
    if (used != seconds)
        TraceLine(0, "schedulelist", __LINE__)
            << "MaxWaitSeconds" << seconds << "is out of range 1.." << kLongestMaxWaitSeconds
            << "- using" << used;
    return used;
}

// Deliberate choice: only an absent "RulesId" means 0, the deactivated node.
// One that is present but no rule set number (a garbled notification) is
// refused, so that it cannot switch backups off. A signed entry holding a
// non-negative number counts, as a signed read of the key takes either type.
bool readRulesId(const XmlList &body, quint32 &ruleSet)
{
    const QString name = Names::RulesId;
    ruleSet = 0;
    qint32 signedValue = -1;
    if (body.get(ruleSet, name))
        return true;
    if (body.get(signedValue, name) && signedValue >= 0) {
        ruleSet = quint32(signedValue);
        return true;
    }
    return !body.contains(name);
}

void logState(int state)
{
    if (Log *log = Context::logging()) {
        log->initialiseStateLogging(Names::Scheduler, Names::Scheduler, state);
        log->sendMessage();
    }
}

} // namespace

ScheduleList::ScheduleList()
    : m_config(Names::SchedulerStore)
    , m_maxWaitSeconds(readMaxWaitSeconds(m_config))
    , m_maxWaitDays((m_maxWaitSeconds - 1) / kSecondsPerDay + 1)
{}

ScheduleList::~ScheduleList() = default;

void ScheduleList::run()
{
    logState(2);
    initialize(1, 1);
    const ConditionDone done(*this);
    // Deliberate choice: an instance refused its bus name (one is running
    // already, or it may not own the name) is done at once and leaves
    // without registering anything. Registering with the node manager would
    // make it announce the rule set again, and the running instance would
    // drop and rebuild its whole list.
    if (!done.isDone()) {
        registerHandlers();
        const MsgAddress nodeManager(Names::NodeManager, Names::NodeManager);
        Msg(nodeManager, Names::NodeMgrRegisterNotifyRulesIdPost, XmlList(), 0).send(false);
        Msg::wait(done, -1);
    }
    release();
    logState(3);
}

void ScheduleList::registerHandlers()
{
    using Member = MsgResult (ScheduleList::*)(const Msg &);
    const std::pair<QLatin1StringView, Member> handlers[] = {
        {Names::NodeMgrNotifyRulesIdPost, &ScheduleList::onRulesIdNotify},
        {Names::SchedulerTimer, &ScheduleList::onTimer},
        {Names::SchedulerManualTriggerRequest, &ScheduleList::onManualTriggerRequest},
        {Names::SchedulerListManualTriggersRequest, &ScheduleList::onListManualTriggersRequest},
    };
    for (const auto &[name, member] : handlers)
        addMsgHandler(name, handler(this, member));
}

MsgResult ScheduleList::onRulesIdNotify(const Msg &msg)
{
    TraceLine(3, "schedulelist", __LINE__) << "Received rules set notify message:\n" << msg.body();
    quint32 announced = 0;
    if (!readRulesId(msg.body(), announced)) {
        TraceLine(0, "schedulelist", __LINE__)
            << "Unusable RulesId in rules set notify message; rule set" << m_ruleSet
            << "stays in force:" << msg.body();
        return eMsgResultHandled;
    }
    m_ruleSet = announced;
    Timer::cancel(kTimer);
    m_schedules.clear();
    if (m_ruleSet != 0) {
        TraceLine(2, "schedulelist", __LINE__) << "Load new rule set" << m_ruleSet;
        reload(m_ruleSet);
    } else {
        TraceLine(2, "schedulelist", __LINE__) << "Node deactivated. Cleared schedule list";
    }
    Timer::set(kTimer, 1, QString());
    return eMsgResultHandled;
}

MsgResult ScheduleList::onManualTriggerRequest(const Msg &msg)
{
    const QString name = msg.getString(nullptr, Names::ActivationName);
    TraceLine(3, "schedulelist", __LINE__) << "Trigger manual backups:" << name;
    qint32 count = 0;
    if (!name.isEmpty()) {
        const QString userTag = msg.getString(nullptr, Names::UserTag);
        for (Schedule &schedule : m_schedules) {
            if (schedule.hasManualTrigger(name) && schedule.triggerManual(name, userTag))
                ++count;
        }
        if (count > 0) {
            sortSchedules();
            processScheduleList();
        }
    }
    XmlList body;
    body.set(Names::ActivationName, name, XmlList::Replace);
    body.set(Names::ActivationCount, count, XmlList::Replace);
    msg.reply(Names::SchedulerManualTriggerReply, body, 0, false);
    return eMsgResultHandled;
}

MsgResult ScheduleList::onListManualTriggersRequest(const Msg &msg)
{
    XmlList body;
    for (const Schedule &schedule : std::as_const(m_schedules)) {
        const QStringList names = schedule.manualTriggerNames();
        if (names.isEmpty())
            continue;
        const XmlList data = schedule.eventData();
        for (const QString &name : names)
            body.set(name, data, XmlList::Append);
    }
    TraceLine(3, "schedulelist", __LINE__) << "Request for manual triggers returning:" << body;
    msg.reply(Names::SchedulerListManualTriggersReply, body, 0, false);
    return eMsgResultHandled;
}

MsgResult ScheduleList::onTimer(const Msg &)
{
    TraceLine(3, "schedulelist", __LINE__) << "There are" << m_schedules.size() << "schedules";
    processScheduleList();
    return eMsgResultHandled;
}

void ScheduleList::processScheduleList()
{
    const bool hasSchedules = !m_schedules.isEmpty();
    TraceLine(3, "schedulelist", __LINE__) << "processScheduleList()";
    if (!hasSchedules)
        return;
    for (int fired = 0; fired < kMaxFiringsPerPass; ++fired) {
        // Firing reads the first schedule in place and changes nothing; only
        // scheduleOccurred() moves it, given its time by value. No copy of
        // the whole schedule for each firing of a burst.
        const Schedule &first = m_schedules.first();
        const QDateTime due = first.nextOccurrence();
        if (!due.isValid()) {
            TraceLine(0, "schedulelist", __LINE__)
                << "Next schedule:" << first.name() << " has invalid/unknown expiry time";
            Timer::set(kTimer, m_maxWaitSeconds * 1000, QString());
            return;
        }
        const QDateTime now = Clock::now();
        if (armFor(first, now))
            return;
        TraceLine(2, "schedulelist", __LINE__)
            << "Schedule triggered: " << first.name() << " at " << due << " occured " << now;
        fireSchedule(first);
        scheduleOccurred(due);
    }
    TraceLine(2, "schedulelist", __LINE__)
        << "Fired" << kMaxFiringsPerPass << "schedules in one pass; going on in a new pass";
    Timer::set(kTimer, 1, QString());
}

// Deliberate choice: the timer is armed to the millisecond, not for whole
// seconds counted from a "now" that is rarely on a second, which would fire
// up to a second late. The traces and the due test (secs <= 0) keep whole
// seconds, so a wake-up a few milliseconds early finds secs 1 and re-arms
// for the milliseconds left.
bool ScheduleList::armFor(const Schedule &first, const QDateTime &now)
{
    const QDateTime next = first.nextOccurrence();
    qint64 secs = next.toSecsSinceEpoch() - now.toSecsSinceEpoch();
    const qint64 days = now.daysTo(next);
    // Deliberate choice: past the day cap the trace still counts the longest
    // wait, but the timer is armed for the real delay when that is shorter.
    // Calendar days are not all 86400 s long: across the 23-hour day of the
    // spring clock change a wait of "MaxWaitSeconds" 86400 would wake an
    // hour after the next time, and the firing would be that late.
    if (days > qint64(m_maxWaitDays)) {
        TraceLine(2, "schedulelist", __LINE__) << "Schedule max days wait exceeded:" << days;
        secs = m_maxWaitSeconds;
    }
    if (secs <= 0)
        return false;
    const qint64 delay = std::min<qint64>(secs, m_maxWaitSeconds);
    TraceLine(2, "schedulelist", __LINE__)
        << "Next schedule:" << first.name() << "data" << first.eventData() << " occurs at " << next;
    TraceLine(3, "schedulelist", __LINE__) << "(in" << secs << "seconds)"
                                           << "Set timer for" << delay;
    Timer::set(kTimer,
               quint32(std::min<qint64>(now.msecsTo(next), qint64(m_maxWaitSeconds) * 1000)),
               QString());
    return true;
}

// Only the first schedule moves and the rest is still in order, so it goes
// back in at the place a binary search finds (after its equals, ties by
// name): the order a full sort gives, for about log2(n) comparisons instead
// of a sort of all n schedules after each firing of a burst.
void ScheduleList::scheduleOccurred(const QDateTime &firedAt)
{
    TraceLine(3, "schedulelist", __LINE__) << "Mark first event has having occurred at";
    Schedule fired = m_schedules.takeFirst();
    fired.markOccurred(firedAt);
    TraceLine(3, "schedulelist", __LINE__)
        << "New time calculated for triggered schedule. Resort list";
    const auto place = std::upper_bound(m_schedules.begin(), m_schedules.end(), fired);
    m_schedules.insert(place, std::move(fired));
}

void ScheduleList::fireSchedule(const Schedule &schedule)
{
    TriggerFiring(schedule, m_ruleSet).fire();
}

void ScheduleList::reload(quint32 uiRuleSet)
{
    TraceLine(4, "schedulelist", __LINE__) << "IN:"
                                           << "ScheduleList::reload"
                                           << "reload uiRuleSet =" << uiRuleSet;
    m_ruleSet = uiRuleSet;
    m_schedules.append(RuleSetLoader::load(uiRuleSet, &m_config));
    sortSchedules();
    // The store is written now rather than at the end of the delivery, so
    // that the pages its text took go back to the system with the rules'.
    m_config.flush();
    Heap::releaseFreed();
    TraceLine(4, "schedulelist", __LINE__) << "OUT:"
                                           << "ScheduleList::reload"
                                           << "reload uiRuleSet =" << uiRuleSet;
}

void ScheduleList::setSchedules(const QList<Schedule> &list)
{
    m_schedules = list;
    sortSchedules();
}

// A schedule is some 300 bytes: the list is sorted by address and each
// schedule then moved into place once, where sorting the list itself moved
// each a dozen times (a third of the sort's time at 10,000 schedules).
// Schedules due at once under one name keep the order they had.
void ScheduleList::sortSchedules()
{
    std::vector<Schedule *> order;
    order.reserve(size_t(m_schedules.size()));
    for (Schedule &schedule : m_schedules)
        order.push_back(&schedule);
    std::stable_sort(order.begin(), order.end(),
                     [](const Schedule *a, const Schedule *b) { return *a < *b; });
    QList<Schedule> sorted;
    sorted.reserve(m_schedules.size());
    for (Schedule *schedule : order)
        sorted.append(std::move(*schedule));
    m_schedules = std::move(sorted);
}
