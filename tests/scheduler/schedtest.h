#pragma once

// The scheduler tests' one fixture and one builder of rules XML.

#include "clock.h"
#include "configlocal.h"
#include "memorytransport.h"
#include "schedule.h"
#include "testsupport.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <memory>

// A local instant "yyyy-MM-dd hh:mm[:ss[.zzz]]", or one in UTC with a trailing
// "Z" for the hours the clock shows twice or never; "never" (or "") is none.
QDateTime at(const char *text);

// Rules XML from words. An element of a schedule file is written
//   [Trigger|Exclude|Fallback|TriggerFallback|Untyped] RULE [hh:mm[:ss][/seconds]] [data=X]
// with Trigger when no role is named (Untyped writes no "Type"), and RULE one of
//   week [Monday..Sunday|All]... [First..Fifth|Last]...   (none named: every one)
//   month [1..31|Last]...    dates FILE    manual NAME (an _ stands for a blank)
// Everything from the first "<" on is copied as it stands.
namespace Rules {
QByteArray element(const QString &words);
QByteArray scheduleFile(const QStringList &elements, const QByteArray &more = QByteArray());
QByteArray calendarFile(const QStringList &dates);
// Dispatcher rules with one replication stream naming `policies`.
QByteArray dispatcher(const QStringList &policies);
// One operation list; a null argument leaves its entry out.
QByteArray operation(const char *kind, const char *name, const char *id, const char *objective,
                     const char *file = nullptr);
QByteArray policy(const char *name, const char *firstRule, const QByteArray &operations,
                  const char *mode = nullptr);
inline QByteArray policyRules(const QByteArray &records)
{
    return "<rules>" + records + "</rules>";
}
} // namespace Rules

// The entry at `path` ("TriggerData/UserTag") of `list` as text, whatever its
// type; empty when there is none.
QString valueAt(const Orvel::XmlList &list, const QString &path);

// A schedule, stored nowhere, repeating daily from `when`, its next
// occurrence; one without any trigger when `when` is none.
Schedule dueAt(const QString &name, const QDateTime &when);

// A fresh home with the store, the in-memory transport, a capture of every
// trace line, and the clock frozen at Monday 2026-12-07 07:00 in Europe/Berlin.
class SchedulerTest : public ::testing::Test
{
protected:
    SchedulerTest();
    ~SchedulerTest() override;

    // Writes rules/1/<file>.
    void write(const QString &file, const QByteArray &text) const;
    // Rule set `n`: dispatcher rules naming `policies`, policy rules of `records`.
    void writeRuleSet(quint32 n, const QStringList &policies, const QByteArray &records) const;
    // The schedule P-1-Backup-1 of the elements, written as rules/1/s.xml, not yet searched.
    Schedule loaded(const QStringList &elements);
    // The same, initiated.
    Schedule started(const QStringList &elements);
    // Rules/1/s.xml as it stands, initiated: as after a restart.
    Schedule restarted(const QString &name = QStringLiteral("P-1-Backup-1"));
    // A fresh store object on the same file, as after a restart.
    void reopenStore();

    TempHome home;
    Orvel::MemoryTransport bus;
    TraceCapture trace;
    std::unique_ptr<Orvel::ConfigLocal> store;
};

// Lets GoogleTest print instants in failure messages.
void PrintTo(const QDateTime &instant, std::ostream *out);
