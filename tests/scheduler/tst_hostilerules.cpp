// Rules folders nobody writes on purpose, one row per hostile input, across
// the readers: the dispatcher rules, the policy rules, schedule files and
// calendar files. Each row spoils a good rule set in one place and expects
// the refusal (the reason, and the reader's own line) and what still loads:
// a hostile schedule or calendar file costs its own policy, never the good
// one beside it, and nothing costs the process. Every fault a fuzzer finds
// becomes a row here and a file in fuzz/corpus/rules/. Why a file is refused
// (its kind, size, nesting, a document type) is tested once in tst_config.cpp
// and tst_xmllist.cpp; here each reader's answer to an unreadable file.

#include "manualtrigger.h"
#include "policyparser.h"
#include "rulesetloader.h"
#include "schedtest.h"

#include "fixedpath.h"

#include <QFile>

#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Rules;

namespace {

constexpr quint32 kRuleSet = 5;
const QStringList kBoth = {"Bad-2-B-1", "Good-1-G-1"};
const QStringList kGoodOnly = {"Good-1-G-1"};
const QStringList kNone;

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

QString rulesFile(const char *name)
{
    return Orvel::FixedPath::rules(kRuleSet) + QLatin1Char('/') + QLatin1String(name);
}

using Spoil = std::function<void()>;

// Puts `text` where the rules file `name` was.
Spoil rewrite(const char *name, const QByteArray &text)
{
    return [=] {
        QFile file(rulesFile(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(text), text.size());
    };
}

// Makes the rules file `name` whatever `make` puts at its path instead.
Spoil replace(const char *name, int (*make)(const char *path))
{
    return [=] {
        const QByteArray path = QFile::encodeName(rulesFile(name));
        ASSERT_EQ(::unlink(path.constData()), 0);
        ASSERT_EQ(make(path.constData()), 0);
    };
}

QStringList loadedNames(quint32 ruleSet, RulesReport *report = nullptr)
{
    QStringList names;
    for (const Schedule &schedule : RuleSetLoader::load(ruleSet, nullptr, report))
        names << schedule.name();
    std::sort(names.begin(), names.end());
    return names;
}

struct HostileRulesCase
{
    const char *name;
    Spoil spoil;
    QStringList schedules; // what still loads, sorted
    const char *traced;    // parts of the level-2 lines expected, "|" between them
    QList<RulesReport::Reason> reported;
};

// The calendar dates below lie ahead of this instant.
class HostileRules : public SchedulerTest
{
protected:
    HostileRules() { Orvel::Clock::setNow(at("2026-03-10 12:00")); }

    // Good keeps its files in a subfolder (which is fine) and is excluded on
    // the dates of its own calendar; Bad rests on bad.xml, whose only trigger
    // is the calendar bad.cfg.
    void writeGoodRuleSet(quint32 ruleSet) const
    {
        const QString folder = QStringLiteral("rules/%1/").arg(ruleSet);
        home.write(folder + "dispatcherrules.cfg", dispatcher({"Good", "Bad"}));
        home.write(folder + "policyrules.cfg", policies(badRecord("2", "bad.xml")));
        home.write(folder + "sub/good.xml",
                   scheduleFile({"week All 13:00/60", "Exclude dates sub/good.cfg"}));
        home.write(folder + "sub/good.cfg", calendarFile({"20261225"}));
        home.write(folder + "bad.xml", scheduleFile({"dates bad.cfg 14:00"}));
        home.write(folder + "bad.cfg", calendarFile({"20260311"}));
    }
};

class HostileRulesTest : public HostileRules, public ::testing::WithParamInterface<HostileRulesCase>
{
};

TEST_P(HostileRulesTest, RefusedWithItsReasonAndTheRestStillLoads)
{
    const HostileRulesCase &c = GetParam();
    writeGoodRuleSet(kRuleSet);
    c.spoil();
    TraceCapture levelTwo(2);
    RulesReport report;
    EXPECT_EQ(loadedNames(kRuleSet, &report), c.schedules);
    QList<RulesReport::Reason> reasons;
    for (const RulesReport::Finding &finding : report.findings())
        reasons << finding.reason;
    EXPECT_EQ(reasons, c.reported);
    const QString traced = levelTwo.texts().join('\n');
    for (const QString &text : QString::fromLatin1(c.traced).split('|', Qt::SkipEmptyParts))
        EXPECT_TRUE(traced.contains(text)) << text.toStdString() << "\nin:\n"
                                           << traced.left(4000).toStdString();

    // The process goes on: the next rule set loads whole.
    writeGoodRuleSet(kRuleSet + 1);
    EXPECT_EQ(loadedNames(kRuleSet + 1), kBoth);
}

const QString kOverlong(PolicyParser::kMaxScheduleNameLength,
                        QLatin1Char('n')); // 1030 with "-2-B-1"
using R = RulesReport::Reason;
// Bad's schedule file cannot be read, and Bad has no objective to fall back on.
const QList<R> kUnreadableBad = {R::FileUnreadable, R::ScheduleFileUnusable,
                                 R::OperationWithoutTiming};
const QList<R> kUnreadable = {R::FileUnreadable};
const QList<R> kUnusableBad = {R::ScheduleFileUnusable, R::OperationWithoutTiming};

const QString kLongActivation(ManualTrigger::kMaxNameLength + 1, QLatin1Char('a'));

const HostileRulesCase kCases[] = {
    {"GoodRuleSet", [] {}, kBoth, "", {R::ObjectiveMissing}},
    // Unreadable, one row per reader: refused at once, never read, never waited on.
    {"DispatcherRulesLinkLoop",
     replace("dispatcherrules.cfg", [](const char *path) { return ::symlink(path, path); }), kNone,
     "Too many levels of symbolic links|Failed to open the dispatcher rules", kUnreadable},
    {"PolicyRulesDevice",
     replace("policyrules.cfg", [](const char *path) { return ::symlink("/dev/zero", path); }),
     kNone, "not a regular file|Failed to open the policy rules", kUnreadable},
    {"ScheduleFileFifo", replace("bad.xml", [](const char *path) { return ::mkfifo(path, 0600); }),
     kGoodOnly, "/rules/5/bad.xml not a regular file|Failed to open the schedule", kUnreadableBad},
    {"CalendarFileFolder", replace("bad.cfg", [](const char *path) { return ::mkdir(path, 0700); }),
     kGoodOnly, "/rules/5/bad.cfg not a regular file|Failed to read calendar file", kUnreadableBad},
    {"CalendarWithoutDates", rewrite("bad.cfg", "<c><Dates><Date>20260311</Date></Dates></c>"),
     kGoodOnly, "Failed to read dates from calendar file",
     QList<R>{R::CalendarWithoutDates} + kUnusableBad},
    // Names of rules files from the rules (".." and absolute schedule files:
    // tst_schedule and tst_rulesets).
    {"CalendarNameAbsolute", rewrite("bad.xml", scheduleFile({"dates /etc/hostname 14:00"})),
     kGoodOnly, "because it is absolute|Invalid Calendar",
     QList<R>{R::FileNameRefused} + kUnusableBad},
    {"ScheduleFileNameEmpty", rewrite("policyrules.cfg", policies(badRecord("2", ""))), kGoodOnly,
     "of rule set 5 because it is empty|Invalid backup schedule for policy Bad RuleId 2",
     QList<R>{R::FileNameRefused} + kUnusableBad},
    // Numbers and names.
    {"FirstRuleBeyond32Bits",
     rewrite("policyrules.cfg", policies(badRecord("4294967298", "bad.xml"))),
     kGoodOnly,
     "Attempt to parse policy with no name or rule id",
     {R::PolicyWithoutFirstRule}},
    {"ScheduleNameOverlong",
     [] {
         rewrite("dispatcherrules.cfg", dispatcher({"Good", kOverlong}))();
         rewrite("policyrules.cfg", policies(policy(kOverlong.toUtf8().constData(), "2",
                                                    operation("Backup", "B", "1", "1 Hours"))))();
     },
     kGoodOnly,
     "whose schedule name has 1030 characters, more than 1024",
     {R::ScheduleNameTooLong}},
    // Two operations on one file: each is told its findings.
    {"ElementWithoutRuleTwice",
     [] {
         rewrite("bad.xml", scheduleFile({"14:00"}))();
         rewrite("policyrules.cfg",
                 policies(policy("Bad", "2",
                                 operation("Backup", "B", "1", nullptr, "bad.xml") +
                                     operation("Backup", "C", "2", nullptr, "bad.xml"))))();
     },
     kGoodOnly, "Schedule element contains no known date/time data",
     QList<R>{R::ElementWithoutRule} + kUnusableBad + QList<R>{R::ElementWithoutRule} +
         kUnusableBad},
    {"ElementTypeUnknown",
     rewrite("bad.xml", scheduleFile({"Untyped week All 14:00 <Type>Often</Type>"})), kGoodOnly,
     "Unknown schedule element type: Often", QList<R>{R::ElementUnknownType} + kUnusableBad},
    {"ActivationNameMissing",
     rewrite("bad.xml", scheduleFile({"14:00 <ManualTrigger><Name>x</Name></ManualTrigger>"})),
     kGoodOnly, "Manual trigger XML contains no activation name",
     QList<R>{R::NoActivationName} + kUnusableBad},
    {"ActivationNameEmpty", rewrite("bad.xml", scheduleFile({"manual 14:00"})), kGoodOnly,
     "Refused an empty activation name|Invalid ManualTrigger",
     QList<R>{R::ActivationNameEmpty} + kUnusableBad},
    {"ActivationNameOverlong",
     rewrite("bad.xml", scheduleFile({"14:00 manual " + kLongActivation})), kGoodOnly,
     "Refused an activation name of 1025 characters, more than 1024|Invalid ManualTrigger",
     QList<R>{R::ActivationNameTooLong} + kUnusableBad},
    // Entries of the wrong shape: passed over, named with their file.
    {"ScheduleFileNotAText",
     rewrite("policyrules.cfg",
             policies(policy("Bad", "2",
                             "<Backup><ScheduleFile><f>bad.xml</f></ScheduleFile>"
                             "<RecoveryPointObjective>1 Hours</RecoveryPointObjective>"
                             "</Backup>"))),
     {"Bad-2--0", "Good-1-G-1"},
     "Passed over Policy[Bad]/Backup[1]/ScheduleFile of |/rules/5/policyrules.cfg - not a text",
     {R::PassedOver}},
    {"ScheduleElementNotAList",
     rewrite("bad.xml", "<s><ScheduleElement>Trigger</ScheduleElement></s>"), kGoodOnly,
     "Passed over ScheduleElement[1] of |/rules/5/bad.xml - not a list",
     QList<R>{R::PassedOver} + kUnusableBad},
    {"MonthDayNotABool",
     rewrite("bad.xml",
             scheduleFile({"14:00 <MonthlyDays><entry name=\"1\">yes</entry></MonthlyDays>"})),
     kGoodOnly, "ScheduleElement[1]/MonthlyDays/1 of |/rules/5/bad.xml - not a bool|Invalid DaysOf",
     QList<R>{R::PassedOver, R::NoDayChosen} + kUnusableBad},
    // Found by fuzz_schedule (corpus: slow-endless-exclusion): an exclusion
    // without end, a fallback it covers and a period that decides through the
    // fallbacks. Every retry of the period met the end of time anew: 0.4 s a
    // search. It now ends within the period's steps, and the period offers no
    // time it could not check.
    {"ScheduleFileWhoseBoundsMultiply",
     [] {
         rewrite("bad.xml", scheduleFile({"Exclude week All 01:33:33/86400",
                                          "Fallback month 25 01:33:33/86400"}))();
         rewrite("policyrules.cfg",
                 policies(
                     policy("Bad", "2", operation("Backup", "B", "1", "1024 Hours", "bad.xml"))))();
     },
     kBoth,
     "Search for the next occurance of Bad-2-B-1 used up its 20000 steps on trigger 0",
     {}},
};

INSTANTIATE_TEST_SUITE_P(Readers, HostileRulesTest, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return info.param.name; });

TEST_F(HostileRules, NamesExactlyAtTheirLimitsLoad)
{
    const QString activation(ManualTrigger::kMaxNameLength, QLatin1Char('a'));
    // "-1-" and "-1" around an empty operation name: the schedule name is
    // exactly at the limit.
    const QByteArray policyName(PolicyParser::kMaxScheduleNameLength - 5, 'p');
    writeRuleSet(
        kRuleSet, {QString::fromLatin1(policyName)},
        policy(policyName.constData(), "1", operation("Backup", "", "1", nullptr, "manual.xml")));
    home.write(QStringLiteral("rules/5/manual.xml"), scheduleFile({"manual " + activation}));
    const QList<Schedule> loaded = RuleSetLoader::load(kRuleSet, nullptr);
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded.first().name().size(), PolicyParser::kMaxScheduleNameLength);
    EXPECT_EQ(loaded.first().manualTriggerNames(), QStringList({activation}));
}

} // namespace
