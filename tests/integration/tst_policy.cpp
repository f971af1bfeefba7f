// The D-Bus system policy (packaging/org.orvel.conf) loaded by a real
// dbus-daemon: root may own the org.orvel names and call into them, a caller
// outside root and the group "orvel" may do neither.

#include "bustest.h"

#include <unistd.h>

TEST_F(BusTest, ThePolicyLetsRootInAndKeepsOthersOut)
{
    if (::geteuid() != 0 || !QFile::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root and setpriv to run a caller as another user";
    // The caller running as nobody must reach the socket.
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther);
    daemon.kill();
    daemon.waitForFinished(kPatienceMs);
    startDaemon(QString(kBusConfig)
                    .replace("session", "system")
                    .replace("<allow own=\"*\"/>", "<allow own=\"*\"/><allow user=\"*\"/>")
                    .replace("</busconfig>", "<include>%2</include></busconfig>")
                    .arg(dir.path(), kSource + "/packaging/org.orvel.conf"));
    listen("Distributor");
    // Every connection answers Peer.Ping, so only the bus policy can refuse it.
    const QStringList ping = ("/usr/bin/dbus-send --bus=" + address +
                              " --print-reply --reply-timeout=2000 --dest=org.orvel.Distributor."
                              "Distributor /org/orvel/Msg org.freedesktop.DBus.Peer.Ping")
                                 .split(' ');
    const auto asNobody = [&](const QStringList &command) {
        return run("/usr/bin/setpriv",
                   QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups"} + command);
    };
    EXPECT_TRUE(eventually([&]() { return run(ping.at(0), ping.mid(1)).code == 0; }));
    const Outcome refused = asNobody(ping);
    EXPECT_NE(refused.code, 0);
    EXPECT_TRUE(refused.err.contains("AccessDenied")) << refused.err.toStdString();
    const Outcome owner = asNobody({kBin + "/orvelmsg", "listen", "Scheduler", "Scheduler"});
    EXPECT_EQ(owner.code, 2);
    EXPECT_TRUE(owner.err.contains("cannot own the name")) << owner.err.toStdString();
}
