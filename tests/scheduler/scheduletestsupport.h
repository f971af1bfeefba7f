#pragma once

#include "clock.h"
#include "configlocal.h"
#include "schedule.h"
#include "testsupport.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <memory>

// Rule-set 1 in a temporary home, a frozen clock in Europe/Berlin, the
// scheduler's store and a trace capture: what every schedule test needs.
class ScheduleTest : public ::testing::Test
{
protected:
    ScheduleTest();
    ~ScheduleTest() override;

    static QDateTime at(int year, int month, int day, int hour, int minute, int second = 0);
    void setNow(const QDateTime &now) { Orvel::Clock::setNow(now); }

    // Writes rules/1/<fileName> holding the given ScheduleElement bodies.
    void writeScheduleFile(const QString &fileName, const QStringList &elements,
                           const QByteArray &scheduleData = QByteArray()) const;
    Schedule schedule(const QString &fileName,
                      const QString &name = QStringLiteral("P-1-Backup-1"));
    // A fresh store object on the same file, as after a restart.
    void reopenStore();
    QString storedText(const QString &name, const char *key) const;

    TempHome home;
    TraceCapture trace;
    std::unique_ptr<Orvel::ConfigLocal> store;
};

// The firings the schedule list traced, in order: "name hh:mm:ss", the name
// and the time of day it fired.
QStringList firings(const TraceCapture &trace);

// Element bodies for the common rules.
namespace Elements {
QString daily(const char *type, const char *time, int duration, const char *data = nullptr);
QString weekdays(const char *type, const QStringList &days, const char *time = nullptr,
                 int duration = 0);
QString manual(const char *name, const char *data = nullptr);
QString calendar(const char *type, const char *file, const char *time = nullptr, int duration = 0);
} // namespace Elements
