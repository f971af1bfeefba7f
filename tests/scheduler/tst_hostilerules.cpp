// Rules folders nobody writes on purpose, one row per reader and kind of
// hostile input: the dispatcher rules, the policy rules, schedule files and
// calendar files. Each row spoils a good rule set in one place and expects
// the refusal (the reason, and the reader's own line) and what still loads:
// a hostile schedule or calendar file costs its own policy, never the good
// one beside it, and nothing costs the process. Every fault a fuzzer finds
// becomes a row here and a file in fuzz/corpus/rules/. What XmlList itself
// refuses is tested in tests/framework/tst_hostile.cpp; here the readers.

#include "manualtrigger.h"
#include "policyparser.h"
#include "rulesetloader.h"
#include "rulesettestsupport.h"

#include "fixedpath.h"
#include "xmllist.h"
#include "xmltext.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace RuleText;
namespace XmlText = Orvel::XmlText;
using Orvel::XmlList;

namespace {

constexpr quint32 kRuleSet = 5;
const QStringList kBoth = {"Bad-2-B-1", "Good-1-G-1"};
const QStringList kGoodOnly = {"Good-1-G-1"};

QByteArray element(const QByteArray &entries)
{
    return "<ScheduleElement>" + entries + "</ScheduleElement>";
}

// A schedule file holding one trigger with the given rule entries.
QByteArray trigger(const QByteArray &rule)
{
    return "<schedule>" + element("<Type>Trigger</Type>" + rule + "<Time>14:00</Time>") +
           "</schedule>";
}

QByteArray calendarFile(const QByteArray &date)
{
    return "<c><Calendar><Date>" + date + "</Date></Calendar></c>";
}

// The policy rules of the good rule set, with the record of Bad as given.
QByteArray policies(const QByteArray &badRecord)
{
    return policyRules(
        policy("Good", "1", operation("Backup", "G", "1", "1 Hours", "sub/good.xml")) + badRecord);
}

QByteArray badRecord(const char *firstRule, const char *scheduleFile)
{
    return policy("Bad", firstRule, operation("Backup", "B", "1", nullptr, scheduleFile));
}

// Good keeps its files in a subfolder (which is fine) and is excluded on
// the dates of its own calendar; Bad rests on bad.xml, whose only trigger is
// the calendar bad.cfg.
void writeGoodRuleSet(const TempHome &home, quint32 ruleSet)
{
    const QString folder = QStringLiteral("rules/%1/").arg(ruleSet);
    home.write(folder + "dispatcherrules.cfg", dispatcher({"Good", "Bad"}));
    home.write(folder + "policyrules.cfg", policies(badRecord("2", "bad.xml")));
    home.write(folder + "sub/good.xml",
               "<schedule>" +
                   element("<Type>Trigger</Type><WeekDays><Days><All>true</All></Days></WeekDays>"
                           "<Time>13:00</Time>"
                           "<Duration type=\"uint\">60</Duration>") +
                   element("<Type>Exclude</Type><Calendar>sub/good.cfg</Calendar>") +
                   "</schedule>");
    home.write(folder + "sub/good.cfg", calendarFile("20261225"));
    home.write(folder + "bad.xml", trigger("<Calendar>bad.cfg</Calendar>"));
    home.write(folder + "bad.cfg", calendarFile("20260311"));
}

QString rulesFile(const char *name)
{
    return Orvel::FixedPath::rules(kRuleSet) + QLatin1Char('/') + QLatin1String(name);
}

// Puts `text` where the rules file `name` was.
void rewrite(const char *name, const QByteArray &text)
{
    QFile file(rulesFile(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(text), text.size());
}

// Makes the rules file `name` something that is not a regular file.
void replace(const char *name, const std::function<int(const QByteArray &path)> &make)
{
    const QByteArray path = QFile::encodeName(rulesFile(name));
    ASSERT_EQ(::unlink(path.constData()), 0);
    ASSERT_EQ(make(path), 0);
}

QStringList loadedNames(quint32 ruleSet, RulesReport *report = nullptr)
{
    QStringList names;
    for (const Schedule &schedule : RuleSetLoader::load(ruleSet, nullptr, report))
        names << schedule.name();
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray nested(int levels)
{
    return QByteArray("<a>").repeated(levels) + QByteArray("</a>").repeated(levels);
}

struct HostileRulesCase
{
    const char *name;
    std::function<void()> spoil;
    QStringList schedules; // what still loads, sorted
    QStringList traced;    // parts of the level-2 lines expected
    QList<RulesReport::Reason> reported;
};

class HostileRulesTest : public RuleSetTest, public ::testing::WithParamInterface<HostileRulesCase>
{
};

TEST_P(HostileRulesTest, RefusedWithItsReasonAndTheRestStillLoads)
{
    const HostileRulesCase &c = GetParam();
    writeGoodRuleSet(home, kRuleSet);
    c.spoil();
    TraceCapture levelTwo(2);
    RulesReport report;
    EXPECT_EQ(loadedNames(kRuleSet, &report), c.schedules);
    QList<RulesReport::Reason> reasons;
    for (const RulesReport::Finding &finding : report.findings())
        reasons << finding.reason;
    EXPECT_EQ(reasons, c.reported);
    const QString traced = levelTwo.texts().join('\n');
    for (const QString &text : c.traced)
        EXPECT_TRUE(traced.contains(text)) << text.toStdString() << "\nin:\n"
                                           << traced.left(4000).toStdString();

    // The process goes on: the next rule set loads whole.
    writeGoodRuleSet(home, kRuleSet + 1);
    EXPECT_EQ(loadedNames(kRuleSet + 1), kBoth);
}

const QString kOverlong(PolicyParser::kMaxScheduleNameLength, QLatin1Char('n'));
using R = RulesReport::Reason;
// Bad's schedule file cannot be read, and Bad has no objective to fall back on.
const QList<R> kUnreadableBad = {R::FileUnreadable, R::ScheduleFileUnusable,
                                 R::OperationWithoutTiming};

INSTANTIATE_TEST_SUITE_P(
    Readers, HostileRulesTest,
    ::testing::Values(
        HostileRulesCase{"GoodRuleSet", [] {}, kBoth, {}, {R::ObjectiveMissing}},
        // What a path may be: each refused at once, never read, never waited on.
        HostileRulesCase{
            "DispatcherRulesLinkLoop",
            [] {
                replace("dispatcherrules.cfg", [](const QByteArray &path) {
                    return ::symlink(path.constData(), path.constData());
                });
            },
            {},
            {"Too many levels of symbolic links", "Failed to open the dispatcher rules"},
            {R::FileUnreadable}},
        HostileRulesCase{"PolicyRulesDevice",
                         [] {
                             replace("policyrules.cfg", [](const QByteArray &path) {
                                 return ::symlink("/dev/zero", path.constData());
                             });
                         },
                         {},
                         {"not a regular file", "Failed to open the policy rules"},
                         {R::FileUnreadable}},
        HostileRulesCase{
            "ScheduleFileFifo",
            [] {
                replace("bad.xml",
                        [](const QByteArray &path) { return ::mkfifo(path.constData(), 0600); });
            },
            kGoodOnly,
            {"/rules/5/bad.xml not a regular file", "Failed to open the schedule file"},
            kUnreadableBad},
        HostileRulesCase{"CalendarFileFolder",
                         [] {
                             replace("bad.cfg", [](const QByteArray &path) {
                                 return ::mkdir(path.constData(), 0700);
                             });
                         },
                         kGoodOnly,
                         {"/rules/5/bad.cfg not a regular file", "Failed to read calendar file",
                          "Invalid Calendar for schedule element"},
                         kUnreadableBad},
        // Content refused before any tree is built.
        HostileRulesCase{"DispatcherRulesTooDeep",
                         [] { rewrite("dispatcherrules.cfg", nested(100000)); },
                         {},
                         {"is nested deeper than 32 levels", "Failed to open the dispatcher rules"},
                         {R::FileUnreadable}},
        HostileRulesCase{"PolicyRulesWithEntities",
                         [] {
                             rewrite("policyrules.cfg",
                                     "<!DOCTYPE r [<!ENTITY x SYSTEM \"/etc/passwd\">]>"
                                     "<rules><Policy><Policy>&x;</Policy></Policy></rules>");
                         },
                         {},
                         {"has a document type declaration", "Failed to open the policy rules"},
                         {R::FileUnreadable}},
        HostileRulesCase{"ScheduleFileOversize",
                         [] {
                             // Sparse: the size is there, the bytes are not.
                             ASSERT_EQ(
                                 ::truncate(QFile::encodeName(rulesFile("bad.xml")).constData(),
                                            XmlText::kMaxTextBytes + 1),
                                 0);
                         },
                         kGoodOnly,
                         {"larger than 67108864 bytes", "Failed to open the schedule file"},
                         kUnreadableBad},
        // Names of rules files from the rules (".." and absolute schedule
        // files are refused in tst_scheduleelement and tst_policyparser).
        HostileRulesCase{"CalendarNameAbsolute",
                         [] {
                             rewrite("bad.xml",
                                     trigger("<Calendar>" + rulesFile("bad.cfg").toUtf8() +
                                             "</Calendar>"));
                         },
                         kGoodOnly,
                         {"because it is absolute", "Invalid Calendar for schedule element"},
                         {R::FileNameRefused, R::ScheduleFileUnusable, R::OperationWithoutTiming}},
        HostileRulesCase{"ScheduleFileNameEmpty",
                         [] { rewrite("policyrules.cfg", policies(badRecord("2", ""))); },
                         kGoodOnly,
                         {"Refused rules file name  of rule set 5 because it is empty",
                          "Invalid backup schedule for policy Bad RuleId 2 Schedule"},
                         {R::FileNameRefused, R::ScheduleFileUnusable, R::OperationWithoutTiming}},
        HostileRulesCase{"ScheduleFileNameLongerThanTheSystemAllows",
                         [] {
                             rewrite("policyrules.cfg",
                                     policies(badRecord("2", QByteArray(300, 'f').constData())));
                         },
                         kGoodOnly,
                         {"File name too long", "Failed to open the schedule file"},
                         kUnreadableBad},
        // Numbers and names.
        HostileRulesCase{
            "FirstRuleBeyond32Bits",
            [] { rewrite("policyrules.cfg", policies(badRecord("4294967298", "bad.xml"))); },
            kGoodOnly,
            {"Attempt to parse policy with no name or rule id"},
            {R::PolicyWithoutFirstRule}},
        HostileRulesCase{"ScheduleNameOverlong",
                         [] {
                             const QByteArray name = kOverlong.toUtf8();
                             rewrite("dispatcherrules.cfg", dispatcher({"Good", kOverlong}));
                             rewrite("policyrules.cfg",
                                     policies(policy(name.constData(), "2",
                                                     operation("Backup", "B", "1", "1 Hours"))));
                         },
                         kGoodOnly,
                         {"Refused an operation of policy " + kOverlong.left(64) +
                          " whose schedule name has 1030 characters, more than 1024"},
                         {R::ScheduleNameTooLong}},
        HostileRulesCase{
            "ActivationNameEmpty",
            [] {
                rewrite("bad.xml", trigger("<ManualTrigger><ActivationName>"
                                           "</ActivationName></ManualTrigger>"));
            },
            kGoodOnly,
            {"Refused an empty activation name", "Invalid ManualTrigger for schedule element"},
            {R::ActivationNameEmpty, R::ScheduleFileUnusable, R::OperationWithoutTiming}},
        HostileRulesCase{
            "ActivationNameOverlong",
            [] {
                rewrite("bad.xml", trigger("<ManualTrigger><ActivationName>" +
                                           QByteArray(ManualTrigger::kMaxNameLength + 1, 'a') +
                                           "</ActivationName></ManualTrigger>"));
            },
            kGoodOnly,
            {"Refused an activation name of 1025 characters, more than 1024",
             "Invalid ManualTrigger for schedule element"},
            {R::ActivationNameTooLong, R::ScheduleFileUnusable, R::OperationWithoutTiming}},
        // Entries of the wrong shape: passed over, named with their file.
        HostileRulesCase{"ScheduleFileNotAText",
                         [] {
                             rewrite("policyrules.cfg",
                                     policies(policy("Bad", "2",
                                                     "<Backup><RecoveryPointObjective>1 Hours"
                                                     "</RecoveryPointObjective><ScheduleFile>"
                                                     "<f>bad.xml</f></ScheduleFile></Backup>")));
                         },
                         {"Bad-2--0", "Good-1-G-1"},
                         {"Passed over Policy[Bad]/Backup[1]/ScheduleFile of ",
                          "/rules/5/policyrules.cfg - not a text"},
                         {R::PassedOver}},
        HostileRulesCase{
            "ScheduleElementNotAList",
            [] { rewrite("bad.xml", "<s><ScheduleElement>Trigger</ScheduleElement></s>"); },
            kGoodOnly,
            {"Passed over ScheduleElement[1] of ", "/rules/5/bad.xml - not a list"},
            {R::PassedOver, R::ScheduleFileUnusable, R::OperationWithoutTiming}},
        HostileRulesCase{
            "MonthDayNotABool",
            [] {
                rewrite("bad.xml",
                        trigger("<MonthlyDays><entry name=\"1\">yes</entry></MonthlyDays>"));
            },
            kGoodOnly,
            {"Passed over ScheduleElement[1]/MonthlyDays/1 of ", "/rules/5/bad.xml - not a bool",
             "Invalid DaysOfMonth for schedule element"},
            {R::PassedOver, R::NoDayChosen, R::ScheduleFileUnusable, R::OperationWithoutTiming}},
        // Found by fuzz_schedule (corpus: slow-endless-exclusion): an
        // exclusion without end, a fallback it covers and a period that
        // decides through the fallbacks. Every retry of the period met the
        // end of time anew: 0.4 s a search. It now ends within the period's
        // steps, and the period offers no time it could not check.
        HostileRulesCase{
            "ScheduleFileWhoseBoundsMultiply",
            [] {
                const QByteArray window = "<Time>01:33:33</Time><Duration>86400</Duration>";
                rewrite("bad.xml", "<s>" +
                                       element("<Type>Exclude</Type><WeekDays><Days><All>true</"
                                               "All></Days></WeekDays>" +
                                               window) +
                                       element("<Type>Fallback</Type><MonthlyDays><entry "
                                               "name=\"25\">true</entry></MonthlyDays>" +
                                               window) +
                                       "</s>");
                rewrite("policyrules.cfg",
                        policies(policy("Bad", "2",
                                        operation("Backup", "B", "1", "1024 Hours", "bad.xml"))));
            },
            kBoth,
            {"Search for the next occurance of Bad-2-B-1 used up its 20000 steps on trigger 0"},
            {}}),
    [](const ::testing::TestParamInfo<HostileRulesCase> &info) { return info.param.name; });

using HostileNamesTest = RuleSetTest;

TEST_F(HostileNamesTest, NamesExactlyAtTheirLimitsLoad)
{
    const QByteArray activation(ManualTrigger::kMaxNameLength, 'a');
    // "-1-" and "-1" around an empty operation name: the schedule name is
    // exactly at the limit.
    const QByteArray policyName(PolicyParser::kMaxScheduleNameLength - 5, 'p');
    writeRules(kRuleSet, dispatcher({QString::fromLatin1(policyName)}),
               policyRules(policy(policyName.constData(), "1",
                                  operation("Backup", "", "1", nullptr, "manual.xml"))));
    home.write(QStringLiteral("rules/5/manual.xml"),
               trigger("<ManualTrigger><ActivationName>" + activation +
                       "</ActivationName></ManualTrigger>"));
    const QList<Schedule> loaded = RuleSetLoader::load(kRuleSet, nullptr);
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded.first().name().size(), PolicyParser::kMaxScheduleNameLength);
    EXPECT_EQ(loaded.first().manualTriggerNames(), QStringList({QString::fromLatin1(activation)}));
}

} // namespace
