// The unit tests' entry: the same zone, locale and trace level whether the
// binary runs under CTest, by hand or under a sanitizer.
#include <QByteArray>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <ctime>

int main(int argc, char **argv)
{
    qputenv("TZ", "Europe/Berlin");
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("ORVEL_TRACE_LEVEL", "4");
    qunsetenv("ORVEL_TRACE_FILE");
    qunsetenv("ORVEL_LOG_FILE");
    tzset();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
