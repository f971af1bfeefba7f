// A rule set of 10,000 policies, one operation each, with mixed rules: from
// the node manager's notification to the timer armed for the earliest
// schedule, over the in-memory transport.
#include "clock.h"
#include "memorytransport.h"
#include "schedulelist.h"
#include "tenthousand.h"
#include "trace.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0));
const QString kTimer = QStringLiteral("SchedulerTimer");

void reloadTenThousandPolicies(benchmark::State &state)
{
    QTemporaryDir dir;
    qputenv("ORVEL_HOME", dir.path().toUtf8());
    qputenv("ORVEL_TRACE_LEVEL", "-1");
    Orvel::Trace::configure();
    TenThousand::writeRuleSet(dir.path(), kNow);
    Orvel::Clock::setNow(kNow);
    Orvel::MemoryTransport bus;
    ScheduleList list;
    Orvel::XmlList announcement;
    announcement.set(QStringLiteral("RulesId"), quint32(1), Orvel::XmlList::Replace);
    bus.setIdleHook([&]() {
        for (auto _ : state) {
            bus.deliver(QStringLiteral("NodeMgrNotifyRulesIdPost"), announcement);
            bus.fire(kTimer);
            if (list.scheduleList().size() != TenThousand::kPolicies || bus.armedMs(kTimer) <= 1)
                state.SkipWithError("the rule set did not load or arm the timer");
        }
        bus.shutDown();
    });
    list.run();
    state.counters["schedules"] = list.scheduleList().size();
    state.counters["armed_ms"] = double(bus.armedMs(kTimer));
    Orvel::Clock::useSystem();
}

} // namespace

BENCHMARK(reloadTenThousandPolicies)->Unit(benchmark::kMillisecond);
