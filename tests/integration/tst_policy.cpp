// The D-Bus system policy (packaging/org.orvel.conf) loaded by a real
// dbus-daemon: root may own the org.orvel names and call into them, a caller
// outside root and the group "orvel" may do neither.

#include "bustest.h"

#include <QFile>
#include <QFileDevice>

#include <unistd.h>

namespace {

inline constexpr char kSystemLikeBus[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
    <allow own="*"/>
  </policy>
  <include>%2</include>
</busconfig>
)";

const QString kSource = QStringLiteral(ORVEL_SOURCE_DIR);

} // namespace

class PolicyTest : public BusTest
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to run a caller as another user";
        if (!QFile::exists("/usr/bin/setpriv"))
            GTEST_SKIP() << "needs setpriv";
        // The caller running as nobody must reach the socket.
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                              QFileDevice::ExeGroup);
        startDaemon(QString::fromLatin1(kSystemLikeBus)
                        .arg(dir.path(), kSource + "/packaging/org.orvel.conf"));
        environment.insert("ORVEL_HOME", dir.filePath("home"));
        environment.insert("ORVEL_TRACE_LEVEL", "-1");
        environment.insert("ORVEL_READY_TIMEOUT_S", "5");
    }

    // Runs `program` as root, or as nobody through setpriv.
    int run(bool asNobody, const QString &program, const QStringList &arguments, QString *output)
    {
        if (!asNobody)
            return runToEnd(program, arguments, output);
        return runToEnd(
            "/usr/bin/setpriv",
            QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", program} + arguments,
            output);
    }

    // A plain D-Bus call into the listener's name: every connection answers
    // Peer.Ping, so only the bus policy can refuse it.
    int ping(bool asNobody, QString *output)
    {
        return run(asNobody, "/usr/bin/dbus-send",
                   {"--bus=" + address, "--print-reply", "--reply-timeout=2000",
                    "--dest=org.orvel.Distributor.Distributor", "/org/orvel/Msg",
                    "org.freedesktop.DBus.Peer.Ping"},
                   output);
    }

    // A listener started by root, once root can call it.
    void startRootListener()
    {
        listen("Distributor");
        QString output;
        ASSERT_TRUE(eventually([&]() { return ping(false, &output) == 0; }))
            << "root cannot reach its own listener: " << output.toStdString();
    }
};

TEST_F(PolicyTest, RootOwnsAndCallsOrvelNamesACallerOutsideTheGroupIsRefused)
{
    startRootListener();
    QString output;
    EXPECT_NE(ping(true, &output), 0);
    EXPECT_TRUE(output.contains("AccessDenied")) << output.toStdString();
}

TEST_F(PolicyTest, AProcessOutsideTheGroupCannotOwnAnOrvelName)
{
    QString output;
    EXPECT_EQ(run(true, kBin + "/orvelmsg", {"listen", "Scheduler", "Scheduler"}, &output), 2);
    EXPECT_TRUE(output.contains("cannot own the name")) << output.toStdString();
}
