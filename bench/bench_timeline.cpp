// How big and how slow `schedctl timeline` is on a busy node: 200 schedules
// in 25 policies over 31 days across a clock change, half of them daily
// backups in one-hour windows, half objectives every 6 to 11 hours, about
// 12,000 firings. It prints the SVG's and the page's size beside the 4 MB the
// SVG must stay under, and the time of each, with `schedctl preview` of the
// same range as the reference: the firings alone, without drawing. With
// --benchmark_min_time (the smoke run of scripts/test) it draws 8 schedules
// over 2 days.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kPolicies = 25;
constexpr int kOperationsPerPolicy = 8;
constexpr int kDays = 31;
constexpr int kSmokePolicies = 1;
constexpr int kSmokeDays = 2;
constexpr double kSvgBarMb = 4.0;
const char kFrom[] = "2027-03-15 00:00";

void write(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

// Rule set 1: in each policy, operations 1 to 4 back up daily in a one-hour
// window at a time of their own, 5 to 8 have only an objective of 6 to 11
// hours; all of them spread over the day.
int writeRules(const QString &home, int policies)
{
    const QString rules = home + QStringLiteral("/rules/1/");
    QByteArray names;
    QByteArray records;
    int schedules = 0;
    for (int p = 1; p <= policies; ++p) {
        const QByteArray policy = "Department" + QByteArray::number(p).rightJustified(2, '0');
        names += "<Policy>" + policy + "</Policy>";
        records += "<Policy><Policy>" + policy + "</Policy><FirstRule type=\"uint\">" +
                   QByteArray::number(p * 10) + "</FirstRule>";
        for (int op = 1; op <= kOperationsPerPolicy; ++op, ++schedules) {
            const bool daily = op <= kOperationsPerPolicy / 2;
            records += "<Backup><Name>" + QByteArray(daily ? "Daily" : "Frequent") +
                       QByteArray::number(op) + "</Name><OperationId type=\"uint\">" +
                       QByteArray::number(op) + "</OperationId>";
            if (daily) {
                const QByteArray file = "daily" + QByteArray::number(schedules) + ".xml";
                const QByteArray time =
                    QByteArray::number(schedules * 7 % 24).rightJustified(2, '0') + ":" +
                    QByteArray::number(schedules * 13 % 60).rightJustified(2, '0');
                write(rules + QString::fromLatin1(file),
                      "<s><ScheduleElement><Type>Trigger</Type><WeekDays><Days><All>true</All>"
                      "</Days></WeekDays><Time>" +
                          time + "</Time><Duration>3600</Duration></ScheduleElement></s>");
                records += "<ScheduleFile>" + file + "</ScheduleFile>";
            } else {
                records += "<RecoveryPointObjective>" + QByteArray::number(6 + schedules % 6) +
                           " Hours</RecoveryPointObjective>";
            }
            records += "</Backup>";
        }
        records += "</Policy>";
    }
    write(rules + "dispatcherrules.cfg",
          "<r><ReplicationStream><Policies>" + names + "</Policies></ReplicationStream></r>");
    write(rules + "policyrules.cfg", "<r>" + records + "</r>");
    return schedules;
}

struct Run
{
    double seconds = 0;
    QByteArray out;
};

Run schedctl(const QStringList &arguments)
{
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/schedctl"), arguments);
    process.waitForFinished(300000);
    Run run;
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.out = process.readAllStandardOutput();
    if (process.exitCode() != 0)
        std::fprintf(stderr, "bench_timeline: schedctl %s: %s", qPrintable(arguments.join(' ')),
                     process.readAllStandardError().constData());
    return run;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

double megabytes(const QString &path)
{
    return double(QFileInfo(path).size()) / (1024.0 * 1024.0);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const bool smoke =
        application.arguments().filter(QStringLiteral("--benchmark_min_time")).size() > 0;
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    qputenv("ORVEL_HOME", home.toUtf8());
    qputenv("ORVEL_TRACE_LEVEL", "-1");
    const int schedules = writeRules(home, smoke ? kSmokePolicies : kPolicies);
    const QString days = QString::number(smoke ? kSmokeDays : kDays);
    const QString svg = dir.filePath(QStringLiteral("timeline.svg"));
    const QString html = dir.filePath(QStringLiteral("timeline.html"));
    const QStringList range{"--from", kFrom};

    const Run preview = schedctl(QStringList{"preview"} + range +
                                 QStringList{"--until", "+" + days + "d", "--output", "tsv"});
    const Run picture =
        schedctl(QStringList{"timeline"} + range + QStringList{"--days", days, "--svg", svg});
    const Run page =
        schedctl(QStringList{"timeline"} + range + QStringList{"--days", days, "--html", html});
    std::printf("%-34s %12s\n", "measure", "value");
    std::printf("%-34s %12d\n", "schedules", schedules);
    std::printf("%-34s %12s\n", "days", qPrintable(days));
    std::printf("%-34s %12lld\n", "firings drawn", qint64(contents(svg).count("data-time=")));
    std::printf("%-34s %12.2f\n", "preview --output tsv (reference) s", preview.seconds);
    std::printf("%-34s %12.2f\n", "timeline --svg s", picture.seconds);
    std::printf("%-34s %12.2f\n", "timeline --html s", page.seconds);
    std::printf("%-34s %12.2f\n", "SVG size (MB)", megabytes(svg));
    std::printf("%-34s %12.2f\n", "SVG size bar (MB)", kSvgBarMb);
    std::printf("%-34s %12.2f\n", "HTML page size (MB)", megabytes(html));
    return megabytes(svg) < kSvgBarMb ? 0 : 1;
}
