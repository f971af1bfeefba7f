#include "manualtrigger.h"
#include "rulesupport.h"
#include "testsupport.h"

#include <gtest/gtest.h>

TEST(ManualTriggerReading, ActivationNameOrTheReasonItIsMissing)
{
    const auto expectRead = [](const char *entries, const char *name, const QStringList &traced) {
        TraceCapture trace;
        const ManualTrigger trigger(body(entries));
        EXPECT_EQ(trigger.isValid(), *name != 0) << entries;
        EXPECT_EQ(trigger.activationName(), QString::fromUtf8(name)) << entries;
        EXPECT_EQ(trace.texts(), traced) << entries;
    };
    expectRead("<ManualTrigger><ActivationName>Nightly</ActivationName></ManualTrigger>", "Nightly",
               {});
    expectRead("<ManualTrigger><ActivationName>Before upgrade 2</ActivationName></ManualTrigger>",
               "Before upgrade 2", {});
    const QString noName = "Manual trigger XML contains no activation name";
    expectRead("<ManualTrigger><Name>Nightly</Name></ManualTrigger>", "", {noName});
    expectRead("<ManualTrigger><ActivationName type=\"uint\">7</ActivationName></ManualTrigger>",
               "", {"Passed over ManualTrigger/ActivationName - not a text", noName});
    expectRead("<Trigger><ActivationName>Nightly</ActivationName></Trigger>", "",
               {"Manual trigger given XML without a trigger entry"});
    expectRead("", "", {"Manual trigger given empty XML"});
}

TEST(ManualTriggerMatching, IgnoresCaseOnly)
{
    const ManualTrigger trigger(
        body("<ManualTrigger><ActivationName>Nightly</ActivationName></ManualTrigger>"));
    for (const char *name : {"Nightly", "NIGHTLY", "nightly"})
        EXPECT_TRUE(trigger.matches(QString::fromLatin1(name))) << name;
    for (const char *name : {"Nightly ", "Night", "", "Nightly2"})
        EXPECT_FALSE(trigger.matches(QString::fromLatin1(name))) << name;
}
