#pragma once

// Rule sets written by hand into a temporary home, and a schedule list over
// the in-memory transport with the clock frozen: what the reload, policy and
// firing tests share.

#include "clock.h"
#include "memorytransport.h"
#include "schedulelist.h"
#include "testsupport.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace RuleText {

// "<Policy>a</Policy><Policy>b</Policy>": the entries of a "Policies" list.
inline QByteArray policyNames(const QStringList &names)
{
    QByteArray text;
    for (const QString &name : names)
        text += "<Policy>" + name.toUtf8() + "</Policy>";
    return text;
}

// Dispatcher rules with one replication stream naming `names`.
inline QByteArray dispatcher(const QStringList &names)
{
    return "<rules><ReplicationStream><Policies>" + policyNames(names) +
           "</Policies></ReplicationStream></rules>";
}

// One operation list; a null argument leaves its entry out.
inline QByteArray operation(const char *kind, const char *name, const char *id,
                            const char *objective, const char *file = nullptr)
{
    QByteArray text = QByteArray("<") + kind + ">";
    if (name)
        text += QByteArray("<Name>") + name + "</Name>";
    if (id)
        text += QByteArray("<OperationId type=\"uint\">") + id + "</OperationId>";
    if (objective)
        text += QByteArray("<RecoveryPointObjective>") + objective + "</RecoveryPointObjective>";
    if (file)
        text += QByteArray("<ScheduleFile>") + file + "</ScheduleFile>";
    return text + "</" + kind + ">";
}

// One policy record holding the given operation lists.
inline QByteArray policy(const char *name, const char *firstRule, const QByteArray &operations,
                         const char *mode = nullptr)
{
    QByteArray text = QByteArray("<Policy><Policy>") + name + "</Policy>";
    if (firstRule)
        text += QByteArray("<FirstRule type=\"uint\">") + firstRule + "</FirstRule>";
    if (mode)
        text += QByteArray("<Mode>") + mode + "</Mode>";
    return text + operations + "</Policy>";
}

inline QByteArray policyRules(const QByteArray &records)
{
    return "<rules>" + records + "</rules>";
}

} // namespace RuleText

class RuleSetTest : public ::testing::Test
{
protected:
    RuleSetTest() { Orvel::Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(12, 0))); }
    ~RuleSetTest() override { Orvel::Clock::useSystem(); }

    void writeRules(quint32 ruleSet, const QByteArray &dispatcherRules,
                    const QByteArray &policyRules) const
    {
        const QString folder = QStringLiteral("rules/%1/").arg(ruleSet);
        if (!dispatcherRules.isNull())
            home.write(folder + "dispatcherrules.cfg", dispatcherRules);
        if (!policyRules.isNull())
            home.write(folder + "policyrules.cfg", policyRules);
    }

    QStringList scheduleNames(const ScheduleList &list) const
    {
        QStringList names;
        for (const Schedule &schedule : list.scheduleList())
            names << schedule.name();
        return names;
    }

    TempHome home;
    Orvel::MemoryTransport bus;
    TraceCapture trace;
};
