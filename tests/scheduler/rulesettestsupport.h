#pragma once

// The fixture and rules builders that tst_hostilerules still uses, on top of
// schedtest.h.

#include "schedtest.h"
#include "schedulelist.h"

namespace RuleText {
using Rules::dispatcher;
using Rules::operation;
using Rules::policy;
using Rules::policyRules;
} // namespace RuleText

class RuleSetTest : public SchedulerTest
{
protected:
    RuleSetTest() { Orvel::Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(12, 0))); }

    void writeRules(quint32 ruleSet, const QByteArray &dispatcherRules,
                    const QByteArray &policyRules) const
    {
        const QString folder = QStringLiteral("rules/%1/").arg(ruleSet);
        if (!dispatcherRules.isNull())
            home.write(folder + "dispatcherrules.cfg", dispatcherRules);
        if (!policyRules.isNull())
            home.write(folder + "policyrules.cfg", policyRules);
    }
};
