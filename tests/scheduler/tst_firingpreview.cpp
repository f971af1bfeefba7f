// The preview of firings that schedctl prints and the rules fuzz target
// checks: in order, on time, and with the clock where the timer loop would
// leave it.

#include "firingpreview.h"
#include "rulesettestsupport.h"

using namespace RuleText;

namespace {

class FiringPreviewTest : public RuleSetTest
{
protected:
    FiringPreviewTest()
    {
        writeRules(3, dispatcher({"Gold", "Silver"}),
                   policyRules(policy("Silver", "2", operation("Backup", "S", "1", "2 Hours")) +
                               policy("Gold", "1", operation("Backup", "G", "1", "3 Hours"))));
    }

    const QDateTime from = QDateTime(QDate(2026, 3, 28), QTime(22, 0));
};

TEST_F(FiringPreviewTest, FiresInOrderOnTimeTiesByName)
{
    FiringPreview preview(3, from);
    ASSERT_EQ(preview.schedules().size(), 2);
    const struct
    {
        const char *schedule;
        QDateTime at;
    } expected[] = {
        {"Gold-1-G-1", from},
        {"Silver-2-S-1", from},
        {"Silver-2-S-1", from.addSecs(2 * 3600)},
        {"Gold-1-G-1", from.addSecs(3 * 3600)},
        // 02:00 does not exist that night: four hours after 22:00 is 03:00.
        {"Silver-2-S-1", QDateTime(QDate(2026, 3, 29), QTime(3, 0))},
    };
    for (const auto &e : expected) {
        const FiringPreview::PlannedFiring firing = preview.fireNext();
        EXPECT_EQ(firing.schedule, QString::fromLatin1(e.schedule));
        EXPECT_EQ(preview.schedules().value(firing.position).name(), firing.schedule);
        EXPECT_EQ(firing.at, e.at);
        EXPECT_EQ(firing.triggerIndex, 0);
        EXPECT_EQ(firing.fallbackIndex, -1);
        EXPECT_EQ(Orvel::Clock::now(), e.at);
    }
}

TEST_F(FiringPreviewTest, KeepsOneScheduleOrNone)
{
    FiringPreview preview(3, from);
    EXPECT_TRUE(preview.keepOnly(QStringLiteral("Silver-2-S-1")));
    EXPECT_EQ(preview.fireNext().schedule, QStringLiteral("Silver-2-S-1"));
    EXPECT_EQ(preview.fireNext().schedule, QStringLiteral("Silver-2-S-1"));
    EXPECT_FALSE(preview.keepOnly(QStringLiteral("Gold-1-G-1")));
    EXPECT_TRUE(preview.schedules().isEmpty());
    EXPECT_FALSE(preview.fireNext().at.isValid());
}

TEST_F(FiringPreviewTest, StopsWhenNothingFiresAnyMore)
{
    writeRules(4, dispatcher({"Gold"}),
               policyRules(policy("Gold", "1", operation("Backup", "G", "1", "0 Hours"))));
    FiringPreview preview(4, from);
    ASSERT_EQ(preview.schedules().size(), 1); // listed, but not valid
    const FiringPreview::PlannedFiring firing = preview.fireNext();
    EXPECT_FALSE(firing.at.isValid());
    EXPECT_TRUE(firing.schedule.isEmpty());
    EXPECT_EQ(Orvel::Clock::now(), from);
}

} // namespace
