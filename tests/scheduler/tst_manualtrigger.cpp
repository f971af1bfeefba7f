#include "manualtrigger.h"
#include "rulesupport.h"
#include "testsupport.h"

#include <gtest/gtest.h>

TEST(ManualTriggerReading, ActivationNameOrTheReasonItIsMissing)
{
    struct
    {
        const char *entries;
        bool valid;
        const char *name;
        QStringList traces;
    } const cases[] = {
        {"<ManualTrigger><ActivationName>Nightly</ActivationName></ManualTrigger>",
         true,
         "Nightly",
         {}},
        {"<ManualTrigger><ActivationName>Before upgrade 2</ActivationName></ManualTrigger>",
         true,
         "Before upgrade 2",
         {}},
        {"<ManualTrigger><Name>Nightly</Name></ManualTrigger>",
         false,
         "",
         {QStringLiteral("Manual trigger XML contains no activation name")}},
        {"<ManualTrigger><ActivationName type=\"uint\">7</ActivationName></ManualTrigger>",
         false,
         "",
         {QStringLiteral("Manual trigger XML contains no activation name")}},
        {"<Trigger><ActivationName>Nightly</ActivationName></Trigger>",
         false,
         "",
         {QStringLiteral("Manual trigger given XML without a trigger entry")}},
        {"", false, "", {QStringLiteral("Manual trigger given empty XML")}},
    };
    for (const auto &c : cases) {
        const Orvel::XmlList entries = body(c.entries);
        TraceCapture trace;
        const ManualTrigger trigger(entries);
        EXPECT_EQ(trigger.isValid(), c.valid) << c.entries;
        EXPECT_EQ(trigger.activationName(), QString::fromUtf8(c.name)) << c.entries;
        EXPECT_EQ(trace.texts(), c.traces) << c.entries;
    }
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
