// What one occurrence of `schedctl preview --output tsv` costs, beside what
// one costs `systemd-analyze calendar --iterations`, for a daily timetable at
// 08:00 and a Monday-to-Friday one at 08:00. Each program writes to a file;
// the cost of one occurrence is (time for N - time for 1) / (N - 1), so the
// start of each program cancels out. Both are timed by the processor time
// they used (the machine is shared: wall time mostly tells how busy it is)
// and by the wall clock, each the median of a few runs taken by turns. The
// goal: schedctl at most a quarter of the reference. Both read the zone of
// TZ, ":/etc/localtime" when it is unset (schedctl does the same by itself).
// With --benchmark_min_time (the smoke run of scripts/test) N is small and
// each figure is taken once.

#include "benchbus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// systemd-analyze stops at the end of 2199: 40,000 weekdays from now end
// well before, and make each program's start a few percent of its run.
constexpr int kOccurrences = 40000;
constexpr int kRuns = 5;
constexpr int kSmokeOccurrences = 200;
constexpr double kGoal = 0.25;
const char kReference[] = "/usr/bin/systemd-analyze";

struct Timetable
{
    const char *name;
    const char *days; // the "Days" list of the schedule file
    const char *calendar;
};

const Timetable kTimetables[] = {
    {"daily 08:00", "<All>true</All>", "*-*-* 08:00:00"},
    {"Mon-Fri 08:00",
     "<Monday>true</Monday><Tuesday>true</Tuesday><Wednesday>true</Wednesday>"
     "<Thursday>true</Thursday><Friday>true</Friday>",
     "Mon..Fri *-*-* 08:00:00"},
};

// Rule set `ruleSet`: one backup on `timetable`.
void writeRuleSet(const QString &home, int ruleSet, const Timetable &timetable)
{
    const QString rules = home + QStringLiteral("/rules/%1/").arg(ruleSet);
    writeFile(rules + "timetable.xml",
              QByteArray("<s><ScheduleElement><Type>Trigger</Type><WeekDays><Days>") +
                  timetable.days + "</Days></WeekDays><Time>08:00</Time></ScheduleElement></s>");
    writeFile(rules + "dispatcherrules.cfg",
              "<r><ReplicationStream><Policies><Policy>Bench</Policy></Policies>"
              "</ReplicationStream></r>");
    writeFile(rules + "policyrules.cfg",
              "<r><Policy><Policy>Bench</Policy><FirstRule>10</FirstRule><Backup><Name>Daily"
              "</Name><OperationId>1</OperationId><ScheduleFile>timetable.xml</ScheduleFile>"
              "</Backup></Policy></r>");
}

struct Cost
{
    double cpu = 0; // seconds of processor time, user and system
    double wall = 0;
    int occurrences = 0; // listed in its output
};

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// Runs `arguments` with its standard output in `out`, where each occurrence
// writes `marker` once.
Cost run(const QStringList &arguments, const QString &out, const char *marker)
{
    std::vector<QByteArray> texts;
    for (const QString &argument : arguments)
        texts.push_back(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    const QByteArray path = out.toUtf8();
    QElapsedTimer timer;
    timer.start();
    int status = -1;
    rusage usage{};
    const pid_t child = fork();
    if (child == 0) {
        const int file = open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(file, 1);
        execve(argv.front(), argv.data(), environ);
        _exit(127);
    }
    if (child > 0)
        wait4(child, &status, 0, &usage);
    const qint64 nanoseconds = timer.nsecsElapsed();
    Cost cost;
    cost.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    cost.wall = double(nanoseconds) / 1e9;
    QFile file(out);
    if (status == 0 && file.open(QIODevice::ReadOnly))
        cost.occurrences = int(file.readAll().count(marker));
    return cost;
}

// Microseconds of processor and wall time per occurrence.
struct PerOccurrence
{
    std::vector<double> cpu;
    std::vector<double> wall;
    bool complete = true; // every run listed as many occurrences as asked
};

// One run of `command(1)` and one of `command(n)`.
template<typename Command>
void measure(const Command &command, const char *marker, int n, const QString &out,
             PerOccurrence &into)
{
    const Cost one = run(command(1), out, marker);
    const Cost many = run(command(n), out, marker);
    into.complete = into.complete && one.occurrences == 1 && many.occurrences == n;
    into.cpu.push_back((many.cpu - one.cpu) / (n - 1) * 1e6);
    into.wall.push_back((many.wall - one.wall) / (n - 1) * 1e6);
}

void printRow(const char *timetable, const char *measure, const std::vector<double> &schedctl,
              const std::vector<double> &reference)
{
    const double ours = percentile(schedctl, 0.5);
    if (reference.empty()) {
        std::printf("%-14s %-5s %12.2f %18s %8s %6.2f\n", timetable, measure, ours, "-", "-",
                    kGoal);
        return;
    }
    const double theirs = percentile(reference, 0.5);
    std::printf("%-14s %-5s %12.2f %18.2f %8.2f %6.2f\n", timetable, measure, ours, theirs,
                ours / theirs, kGoal);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const bool smoke =
        application.arguments().filter(QStringLiteral("--benchmark_min_time")).size() > 0;
    const int n = smoke ? kSmokeOccurrences : kOccurrences;
    const int runs = smoke ? 1 : kRuns;
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    qunsetenv("ORVEL_TRACE_LEVEL"); // schedctl's own default: no trace
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    qputenv("ORVEL_HOME", home.toUtf8());
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString schedctl = QCoreApplication::applicationDirPath() + QStringLiteral("/schedctl");
    const bool haveReference = QFileInfo(QString::fromLatin1(kReference)).isExecutable();

    std::printf("%d occurrences, median of %d runs, TZ=%s; microseconds per occurrence\n", n, runs,
                qgetenv("TZ").constData());
    std::printf("%-14s %-5s %12s %18s %8s %6s\n", "timetable", "time", "schedctl",
                "systemd-analyze", "ratio", "goal");
    bool complete = true;
    int ruleSet = 0;
    for (const Timetable &timetable : kTimetables) {
        writeRuleSet(home, ++ruleSet, timetable);
        const auto preview = [&](int count) {
            return QStringList{schedctl,     "preview",
                               "--rule-set", QString::number(ruleSet),
                               "--count",    QString::number(count),
                               "--output",   "tsv"};
        };
        const auto calendar = [&](int count) {
            return QStringList{kReference, "calendar", "--iterations=" + QString::number(count),
                               timetable.calendar};
        };
        PerOccurrence ours;
        PerOccurrence theirs;
        for (int i = 0; i < runs; ++i) {
            measure(preview, "\n", n, out, ours);
            if (haveReference)
                measure(calendar, "From now:", n, out, theirs);
        }
        printRow(timetable.name, "cpu", ours.cpu, theirs.cpu);
        printRow(timetable.name, "wall", ours.wall, theirs.wall);
        complete = complete && ours.complete && theirs.complete;
    }
    if (!haveReference)
        std::printf("%s not found: no reference\n", kReference);
    if (!complete)
        std::fprintf(stderr, "bench_preview: a run listed fewer occurrences than asked\n");
    return complete ? 0 : 1;
}
