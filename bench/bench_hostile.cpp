// How long a small hostile rule set takes to load: 110 operations naming one
// schedule file whose search runs into its step budget (an endless exclusion
// and a fallback it covers, found by fuzz_schedule), on a fresh start, with
// the trace at level 2 written to a file. It prints the load beside the
// 0.2 s it must stay under and beside one operation naming the same file:
// 110 times that is what loading costs when each operation repeats the
// search.

#include "clock.h"
#include "rulesetloader.h"
#include "trace.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kOperations = 110;
constexpr int kRuns = 3;
constexpr double kBarSeconds = 0.2;

void write(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

QByteArray element(const QByteArray &body)
{
    return "<ScheduleElement>" + body + "</ScheduleElement>";
}

// Rule set `ruleSet`: one policy with `operations` backups, all naming bad.xml.
void writeRuleSet(const QString &home, int ruleSet, int operations)
{
    const QString rules = home + QStringLiteral("/rules/%1/").arg(ruleSet);
    const QByteArray window = "<Time>01:33:33</Time><Duration>86400</Duration>";
    write(rules + "bad.xml",
          "<s>" +
              element("<Type>Exclude</Type><WeekDays><Days><All>true</All></Days></WeekDays>" +
                      window) +
              element("<Type>Fallback</Type><MonthlyDays><entry name=\"25\">true</entry>"
                      "</MonthlyDays>" +
                      window) +
              "</s>");
    QByteArray record = "<Policy><Policy>Bad</Policy><FirstRule>2</FirstRule>";
    for (int i = 1; i <= operations; ++i)
        record += "<Backup><Name>B" + QByteArray::number(i) + "</Name><OperationId>" +
                  QByteArray::number(i) +
                  "</OperationId><ScheduleFile>bad.xml</ScheduleFile><RecoveryPointObjective>1024 "
                  "Hours</RecoveryPointObjective></Backup>";
    write(rules + "policyrules.cfg", "<r>" + record + "</Policy></r>");
    write(
        rules + "dispatcherrules.cfg",
        "<r><ReplicationStream><Policies><Policy>Bad</Policy></Policies></ReplicationStream></r>");
}

// The best of kRuns loads of `ruleSet`, in seconds.
double loadSeconds(int ruleSet, int expected)
{
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        const qsizetype loaded = RuleSetLoader::load(quint32(ruleSet), nullptr).size();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
        if (loaded != expected)
            std::printf("rule set %d loaded %lld schedules, not %d\n", ruleSet,
                        static_cast<long long>(loaded), expected);
    }
    return best;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    qputenv("ORVEL_HOME", dir.path().toUtf8());
    qputenv("ORVEL_TRACE_LEVEL", "2");
    qputenv("ORVEL_TRACE_FILE", (dir.path() + QStringLiteral("/trace.log")).toUtf8());
    Orvel::Trace::configure();
    Orvel::Clock::settleZone(); // as the scheduler's process does
    writeRuleSet(dir.path(), 1, kOperations);
    writeRuleSet(dir.path(), 2, 1);

    const double hostile = loadSeconds(1, kOperations);
    const double one = loadSeconds(2, 1);
    std::printf("%-52s %10s\n", "load (trace level 2 to a file, best of 3)", "seconds");
    std::printf("%-52s %10.4f\n", "110 operations naming one hostile schedule file", hostile);
    std::printf("%-52s %10.4f\n", "reference: goal", kBarSeconds);
    std::printf("%-52s %10.4f\n", "reference: one operation naming it", one);
    std::printf("%-52s %10.4f\n", "reference: 110 x one operation (repeated work)",
                one * kOperations);
    std::printf("goal %s\n", hostile < kBarSeconds ? "met" : "NOT met");
    return 0;
}
