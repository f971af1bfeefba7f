#include "schedulelist.h"

#include "clock.h"
#include "context.h"
#include "log.h"
#include "msg.h"
#include "msgnames.h"
#include "timer.h"
#include "trace.h"

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>

#include <algorithm>
#include <utility>

using namespace Orvel;

namespace {

constexpr quint32 kDefaultMaxWaitSeconds = 900;
// The timer counts unsigned 32-bit milliseconds: 4294967 s is the longest
// whole-second wait that fits.
constexpr quint32 kLongestMaxWaitSeconds = 4294967;
constexpr quint32 kSecondsPerDay = 86400;
// A pass fires what is due, and each firing moves that schedule on, so a
// pass ends after a handful of firings. This many means some schedule does
// not move on: stop the pass and go on in a fresh one, so that other
// messages are delivered in between.
constexpr int kMaxFiringsPerPass = 1000;

const QString kTimer = QLatin1String(Names::SchedulerTimer);

// Deliberate choice: a "MaxWaitSeconds" of 0 would arm a timer that expires
// at once, over and over, and one above 4294967 does not fit the timer's
// 32-bit milliseconds; both are clamped into 1..4294967, and the clamp is
// traced as a fault so that the operator fixes the store.
quint32 readMaxWaitSeconds(const ConfigLocal &config)
{
    quint32 seconds = kDefaultMaxWaitSeconds;
    config.get(seconds, QLatin1String(Names::MaxWaitSeconds));
    const quint32 used = std::clamp(seconds, quint32(1), kLongestMaxWaitSeconds);
    if (used != seconds)
        TraceLine(0, "schedulelist", __LINE__)
            << "MaxWaitSeconds" << seconds << "is out of range 1.." << kLongestMaxWaitSeconds
            << "- using" << used;
    return used;
}

void logState(int state)
{
    if (Log *log = Context::logging()) {
        log->initialiseStateLogging(QLatin1String(Names::Scheduler),
                                    QLatin1String(Names::Scheduler), state);
        log->sendMessage();
    }
}

} // namespace

ScheduleList::ScheduleList()
    : config(QLatin1String(Names::SchedulerStore))
    , maxWaitSeconds(readMaxWaitSeconds(config))
    , maxWaitDays((maxWaitSeconds - 1) / kSecondsPerDay + 1)
{}

ScheduleList::~ScheduleList() = default;

void ScheduleList::run()
{
    logState(2);
    initialize(1, 1);
    registerHandlers();
    const MsgAddress nodeManager(QLatin1String(Names::NodeManager),
                                 QLatin1String(Names::NodeManager));
    Msg(nodeManager, QLatin1String(Names::NodeMgrRegisterNotifyRulesIdPost), XmlList(), 0)
        .send(false);
    const ConditionDone done(*this);
    Msg::wait(done, -1);
    release();
    logState(3);
}

void ScheduleList::registerHandlers()
{
    typedef MsgResult (ScheduleList::*Member)(const Msg &);
    const std::pair<const char *, Member> handlers[] = {
        {Names::NodeMgrNotifyRulesIdPost, &ScheduleList::onRulesIdNotify},
        {Names::SchedulerTimer, &ScheduleList::onTimer},
        {Names::SchedulerManualTriggerRequest, &ScheduleList::onManualTriggerRequest},
        {Names::SchedulerListManualTriggersRequest, &ScheduleList::onListManualTriggersRequest},
    };
    for (const auto &[name, member] : handlers)
        addMsgHandler(QLatin1String(name), boost::make_shared<Handler>(
                                               boost::bind(member, this, boost::placeholders::_1)));
}

MsgResult ScheduleList::onRulesIdNotify(const Msg &)
{
    return eMsgResultHandled;
}

MsgResult ScheduleList::onManualTriggerRequest(const Msg &)
{
    return eMsgResultHandled;
}

MsgResult ScheduleList::onListManualTriggersRequest(const Msg &)
{
    return eMsgResultHandled;
}

MsgResult ScheduleList::onTimer(const Msg &)
{
    TraceLine(3, "schedulelist", __LINE__) << "There are" << schedules.size() << "schedules";
    processScheduleList();
    return eMsgResultHandled;
}

void ScheduleList::processScheduleList()
{
    const bool hasSchedules = !schedules.isEmpty();
    TraceLine(3, "schedulelist", __LINE__) << "processScheduleList()";
    if (!hasSchedules)
        return;
    for (int fired = 0; fired < kMaxFiringsPerPass; ++fired) {
        const Schedule first = schedules.first();
        if (!first.nextOccurrence().isValid()) {
            TraceLine(0, "schedulelist", __LINE__)
                << "Next schedule:" << first.name() << " has invalid/unknown expiry time";
            Timer::set(kTimer, maxWaitSeconds * 1000, QString());
            return;
        }
        const QDateTime now = Clock::now();
        if (armFor(first, now))
            return;
        TraceLine(2, "schedulelist", __LINE__) << "Schedule triggered: " << first.name() << " at "
                                               << first.nextOccurrence() << " occured " << now;
        fireSchedule(first);
        scheduleOccurred(first.nextOccurrence());
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
    qint64 delayMs = now.msecsTo(next);
    const qint64 days = now.daysTo(next);
    if (days > qint64(maxWaitDays)) {
        TraceLine(2, "schedulelist", __LINE__) << "Schedule max days wait exceeded:" << days;
        secs = maxWaitSeconds;
        delayMs = qint64(maxWaitSeconds) * 1000;
    }
    if (secs <= 0)
        return false;
    const qint64 delay = std::min<qint64>(secs, maxWaitSeconds);
    TraceLine(2, "schedulelist", __LINE__) << "Next schedule:" << first.name() << "data"
                                           << first.eventData().toBinary() << " occurs at " << next;
    TraceLine(3, "schedulelist", __LINE__) << "(in" << secs << "seconds)"
                                           << "Set timer for" << delay;
    Timer::set(kTimer, quint32(std::min<qint64>(delayMs, qint64(maxWaitSeconds) * 1000)),
               QString());
    return true;
}

void ScheduleList::scheduleOccurred(const QDateTime &firedAt)
{
    TraceLine(3, "schedulelist", __LINE__) << "Mark first event has having occurred at";
    schedules.first().markOccurred(firedAt);
    TraceLine(3, "schedulelist", __LINE__)
        << "New time calculated for triggered schedule. Resort list";
    sortSchedules();
}

void ScheduleList::fireSchedule(const Schedule &schedule)
{
    TraceLine(2, "schedulelist", __LINE__)
        << "Schedule triggered: Data" << schedule.eventData().toBinary();
}

void ScheduleList::setSchedules(const QList<Schedule> &list)
{
    schedules = list;
    sortSchedules();
}

void ScheduleList::sortSchedules()
{
    std::sort(schedules.begin(), schedules.end());
}
