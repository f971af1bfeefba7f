// The operator's tools against real processes: schedctl asking a running
// scheduler, schedctl preview against what the scheduler really fires,
// schedctl check on broken rule sets, and scripts/demo end to end. What
// schedctl answers from the rules alone is in tst_schedctl.cpp.

#include "bustest.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString kSource = QStringLiteral(ORVEL_SOURCE_DIR);

struct Outcome
{
    int code = -1;
    QString out;
    QString err;
};

// A firing as schedctl preview prints it, and as the scheduler traces it.
struct SeenFiring
{
    QString name;
    QDateTime at;
    bool operator<(const SeenFiring &other) const
    {
        return at != other.at ? at < other.at : name < other.name;
    }
    bool operator==(const SeenFiring &other) const { return name == other.name && at == other.at; }
};

[[maybe_unused]] void PrintTo(const SeenFiring &firing, std::ostream *out)
{
    *out << firing.name.toStdString() << "@" << firing.at.toString("hh:mm:ss").toStdString();
}

} // namespace

class OperatorTest : public BusTest
{
protected:
    void SetUp() override
    {
        BusTest::SetUp();
        environment.insert("ORVEL_TRACE_LEVEL", "2");
    }

    // The example home, with the snapshot program in the working directory.
    void useExamples()
    {
        ASSERT_EQ(runToEnd("/bin/cp", {"-r", kSource + "/examples/home", dir.filePath("home")}), 0);
        ASSERT_EQ(runToEnd("/bin/cp", {kSource + "/examples/home/quenrod.exe", dir.path()}), 0);
    }

    Outcome schedctl(const QStringList &arguments)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(kBin + "/schedctl", arguments);
        Outcome run;
        if (process.waitForFinished(kPatienceMs))
            run.code = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    void startExampleScheduler()
    {
        start("standin-nodemanager", {"--rules-id", "1"});
        distributor = start("standin-distributor", {});
        start("scheduler", {});
        // Answering comes before the node manager's rule set is loaded.
        ASSERT_TRUE(eventually([&]() { return schedctl({"triggers"}).out.contains("Full now"); }));
    }

    // The firings the running scheduler traced, to the second.
    QList<SeenFiring> tracedFirings() const
    {
        static const QRegularExpression fired(QStringLiteral(
            "Schedule triggered:  (\\S+)  at  (\\d\\d:\\d\\d:\\d\\d \\w+ \\w+ \\d+ \\d+)"));
        QList<SeenFiring> found;
        auto it = fired.globalMatch(text("trace.log"));
        while (it.hasNext()) {
            const auto match = it.next();
            found.append({match.captured(1),
                          QDateTime::fromString(match.captured(2), "hh:mm:ss ddd MMMM d yyyy")});
        }
        return found;
    }

    static QList<SeenFiring> previewFirings(const QString &output)
    {
        QList<SeenFiring> found;
        for (const QString &line : output.split('\n', Qt::SkipEmptyParts)) {
            const QStringList columns = line.split('\t');
            found.append(
                {columns.value(0), QDateTime::fromString(columns.value(1), "yyyyMMddhhmmss")});
        }
        return found;
    }
};

// ---- against a running scheduler -------------------------------------------

TEST_F(OperatorTest, TriggersListsAndTriggerMakesTheScheduleDue)
{
    useExamples();
    startExampleScheduler();
    const Outcome listed = schedctl({"triggers"});
    EXPECT_EQ(listed.code, 0);
    EXPECT_TRUE(listed.out.contains(QRegularExpression("Full now +Gold +Nightly")))
        << listed.out.toStdString();

    const Outcome run = schedctl({"trigger", "full NOW", "--tag", "before-upgrade"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed().toStdString(), "full NOW: 1 schedule made due");
    QString seen;
    EXPECT_TRUE(outputHas(distributor, "<UserTag type=\"text\">before-upgrade</UserTag>", &seen))
        << seen.toStdString();

    // A name nobody has is a problem, told in one line.
    const Outcome unknown = schedctl({"trigger", "No such trigger"});
    EXPECT_EQ(unknown.code, 1);
    EXPECT_EQ(unknown.err.count('\n'), 1) << unknown.err.toStdString();
    EXPECT_TRUE(unknown.err.contains("No such trigger"));
}

TEST_F(OperatorTest, BusCommandsWithoutASchedulerFailWithOneLineAndExitTwo)
{
    for (const QStringList &arguments :
         {QStringList{"triggers"}, QStringList{"trigger", "Full now"}}) {
        const Outcome run = schedctl(arguments);
        EXPECT_EQ(run.code, 2) << arguments.join(' ').toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("the scheduler is not running")) << run.err.toStdString();
    }
}

// ---- preview and timers ----------------------------------------------------

// Whole seconds only: the scheduler fires to the millisecond but traces to the
// second, and schedules initiated a millisecond apart tie in the preview.
TEST_F(OperatorTest, PreviewAgreesWithWhatTheSchedulerFires)
{
    useExamples();
    startExampleScheduler();
    // Four at once, then Silver at +3 s, Gold's backup at +5 s, Silver at +6 s.
    ASSERT_TRUE(eventually([&]() { return tracedFirings().size() >= 7; }));
    QList<SeenFiring> real = tracedFirings();
    const QDateTime from = real.first().at;
    const Outcome run =
        schedctl({"preview", "--rule-set", "1", "--from", from.toString("yyyyMMddhhmmss"),
                  "--count", "100", "--output", "tsv"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    QList<SeenFiring> expected = previewFirings(run.out);
    // Compare the whole seconds the run has certainly finished.
    const QDateTime end = real.last().at;
    const auto before = [&end](const SeenFiring &f) { return f.at < end; };
    real.erase(std::stable_partition(real.begin(), real.end(), before), real.end());
    expected.erase(std::stable_partition(expected.begin(), expected.end(), before), expected.end());
    std::sort(real.begin(), real.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(real, expected);
}

TEST_F(OperatorTest, TimersAndPreviewLeaveTheStoreAlone)
{
    useExamples();
    const QByteArray store = "<config><entry name=\"Gold-10-Snap-2\" type=\"list\">"
                             "<LastOccurance>20261205080000</LastOccurance></entry></config>";
    writeFile("home/local/scheduler.cfg", store);
    const Outcome timers = schedctl({"timers", "--rule-set", "1"});
    EXPECT_EQ(timers.code, 0) << timers.err.toStdString();
    EXPECT_TRUE(timers.out.contains(QRegularExpression("Sat 2026-12-05 08:00:00 .*Gold-10-Snap-2")))
        << timers.out.toStdString();
    EXPECT_TRUE(timers.out.contains("5 schedules in rule set 1"));
    const Outcome preview =
        schedctl({"preview", "--rule-set", "1", "--from", "20261205000000", "--count", "5"});
    EXPECT_EQ(preview.code, 0);
    EXPECT_EQ(text("home/local/scheduler.cfg").toUtf8(), store);
    EXPECT_EQ(QDir(dir.filePath("home/local")).entryList(QDir::Files),
              QStringList{"scheduler.cfg"});
}

// ---- check -------------------------------------------------------------------

TEST_F(OperatorTest, CheckPassesTheExamplesAndReportsTheFileAndReasonOfEachFault)
{
    useExamples();
    const Outcome clean = schedctl({"check", "--rule-set", "1"});
    EXPECT_EQ(clean.code, 0) << clean.out.toStdString();
    EXPECT_EQ(clean.out.toStdString(), "rule set 1: 5 schedules, nothing skipped, no notes\n");
    // Each expected line: file, reason, skipped or note, element, policy,
    // operation, code. A note alone exits 0.
    const struct
    {
        const char *file;
        QByteArray bytes; // empty: the file is removed
        const char *expected;
    } cases[] = {
        // clang-format off
        {"dispatcherrules.cfg", {}, "dispatcherrules.cfg\tcannot be read: No such file or directory\tskipped\t\t\t\tfileUnreadable"},
        {"policyrules.cfg", "<rules><Policy>", "policyrules.cfg\tcannot be read: not well-formed at line 1, column 15: Premature end of document.\tskipped\t\t\t\tfileUnreadable"},
        {"quiet-hour.xml", {}, "quiet-hour.xml\tcannot be read: No such file or directory\tskipped\t\tSilver\tContinuous\tfileUnreadable"},
        {"monthly.xml", "<schedule/>", "monthly.xml\tholds no entries\tskipped\t\tBronze\tMonthly\tfileEmpty"},
        {"holidays.cfg", "<config><Calendar>", "holidays.cfg\tcannot be read: not well-formed at line 1, column 18: Premature end of document.\tskipped\t\tGold\tNightly\tfileUnreadable"},
        {"holidays.cfg", "<config><Dates/></config>", "holidays.cfg\tno Calendar list of dates: the elements naming it are skipped\tskipped\t\tGold\tNightly\tcalendarWithoutDates"},
        {"holidays.cfg", "<config><Calendar><Date>20261332</Date></Calendar></config>", "holidays.cfg\t'20261332' is no date yyyyMMdd: the date is skipped\tskipped\tCalendar/Date[1]\tGold\tNightly\tcalendarDateInvalid"},
        {"offsite.xml", "<s><ScheduleElement><Type>Fallback</Type></ScheduleElement></s>", "offsite.xml\tno time rule (Calendar, MonthlyDays, WeekDays or ManualTrigger): the element is skipped\tskipped\tScheduleElement[1]\tBronze\tOffsite\telementWithoutRule"},
        {"offsite.xml", "<s><ScheduleElement><WeekDays/></ScheduleElement></s>", "offsite.xml\tno Type: the element is skipped\tskipped\tScheduleElement[1]\tBronze\tOffsite\telementWithoutType"},
        {"offsite.xml", "<s><ScheduleElement><Type>Exclusion</Type></ScheduleElement></s>", "offsite.xml\tthe Type 'Exclusion' is none of Trigger, Exclude and Fallback: the element is skipped\tskipped\tScheduleElement[1]\tBronze\tOffsite\telementUnknownType"},
        {"offsite.xml", "<s><ScheduleElement><Type>Trigger</Type><ManualTrigger><N/></ManualTrigger></ScheduleElement></s>", "offsite.xml\tno ActivationName text: the manual trigger is skipped\tskipped\tScheduleElement[1]/ManualTrigger\tBronze\tOffsite\tnoActivationName"},
        {"quiet-hour.xml", "<s><ScheduleElement><Type>Exclude</Type><WeekDays><Days><All>false</All></Days></WeekDays></ScheduleElement></s>", "quiet-hour.xml\tchooses no day: the element is skipped\tskipped\tScheduleElement[1]/WeekDays\tSilver\tContinuous\tnoDayChosen"},
        {"policyrules.cfg", "<r><Policy><Policy>Gold</Policy><FirstRule>10</FirstRule><Backup><Name>Nightly</Name><ScheduleFile>nightly.xml</ScheduleFile><RecoveryPointObjective>5 seconds</RecoveryPointObjective></Backup></Policy></r>",
         "policyrules.cfg\t'5 seconds' is no recovery point objective such as '4 Hours': not used\tskipped\tPolicy[Gold]/Backup[1]/RecoveryPointObjective\tGold\tNightly\tobjectiveUnusable"},
        {"policyrules.cfg", "<r><Policy><Policy>Gold</Policy><FirstRule>10</FirstRule><Backup><Name>Nightly</Name><ScheduleFile>nightly.xml</ScheduleFile></Backup></Policy></r>",
         "policyrules.cfg\tno recovery point objective: the schedule file alone times the operation\tnote\tPolicy[Gold]/Backup[1]\tGold\tNightly\tobjectiveMissing"},
        {"dispatcherrules.cfg", "<r><ReplicationStream><RemotePolicies><Branch/></RemotePolicies></ReplicationStream></r>", "dispatcherrules.cfg\tno Policies list: the node adds no policy\tskipped\tReplicationStream[1]/RemotePolicies/Branch\t\t\tremoteNodeWithoutPolicies"},
        // Entries of the wrong shape, each named with its own file.
        {"quiet-hour.xml", "<s><ScheduleElement><Type>Exclude</Type><WeekDays><Days>All</Days></WeekDays></ScheduleElement></s>", "quiet-hour.xml\tnot a list: its rule is refused\tskipped\tScheduleElement[1]/WeekDays/Days\tSilver\tContinuous\truleRefused"},
        {"holidays.cfg", "<config><Calendar><Date>20261225</Date><Date><d/></Date></Calendar></config>", "holidays.cfg\tnot a text: passed over\tskipped\tCalendar/Date[2]\tGold\tNightly\tpassedOver"},
        {"dispatcherrules.cfg", "<rules><ReplicationStream><Policies>Gold</Policies></ReplicationStream></rules>", "dispatcherrules.cfg\tnot a list: passed over\tskipped\tReplicationStream[1]/Policies\t\t\tpassedOver"},
        // clang-format on
    };
    for (const auto &c : cases) {
        const QString path = QStringLiteral("home/rules/1/") + c.file;
        const QByteArray original = text(path).toUtf8();
        if (c.bytes.isEmpty())
            QFile::remove(dir.filePath(path));
        else
            writeFile(path, c.bytes);
        const Outcome run = schedctl({"check", "--rule-set", "1", "--output", "tsv"});
        EXPECT_EQ(run.code, QString(c.expected).contains("\tnote\t") ? 0 : 1) << c.expected;
        EXPECT_TRUE(run.out.split('\n').contains(c.expected)) << run.out.toStdString();
        writeFile(path, original);
    }
}

// ---- the demo ----------------------------------------------------------------

TEST_F(OperatorTest, TheDemoShowsFiringsAndTheManualTriggerAndStopsEverything)
{
    QProcess demo;
    demo.setProcessChannelMode(QProcess::MergedChannels);
    // The example's quiet hour, 03:00 to 04:00, holds Silver back; during it
    // the demo runs in a zone eight hours on, where Silver fires.
    const QDateTime now = QDateTime::currentDateTime();
    if (now.time().hour() == 3 || now.addSecs(60).time().hour() == 3) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TZ", "Asia/Tokyo");
        demo.setProcessEnvironment(environment);
    }
    demo.start(kSource + "/scripts/demo", {"--seconds", "8", "--no-build", "--bin", kBin});
    ASSERT_TRUE(demo.waitForFinished(30000));
    const QString output = QString::fromUtf8(demo.readAll());
    EXPECT_EQ(demo.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("Gold-10-Nightly-1")) << output.toStdString(); // the timetable
    EXPECT_TRUE(
        output.contains(QRegularExpression("\\d\\d:\\d\\d:\\d\\d  Silver +Continuous +time")))
        << output.toStdString();
    EXPECT_TRUE(output.contains("Full now: 1 schedule made due")) << output.toStdString();
    EXPECT_TRUE(output.contains(QRegularExpression("Gold +Nightly +manual: Full now")))
        << output.toStdString();
    EXPECT_TRUE(
        output.contains(QRegularExpression("demo: \\d+ firings in \\d+ s .*everything stopped")))
        << output.toStdString();
}
