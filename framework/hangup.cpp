#include "hangup.h"

#include "timer.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace Orvel {

namespace {

// The handler only writes one byte; the event loop does the rest.
int hangupPipe[2] = {-1, -1};

void onHangup(int)
{
    const char byte = 1;
    const ssize_t written = ::write(hangupPipe[1], &byte, 1);
    (void)written; // a full pipe already holds a pending hang-up
}

// Owned by the application, so it goes before the event loop does.
QSocketNotifier *notifier = nullptr;

} // namespace

bool Hangup::deliverAs(const QString &messageName)
{
    if (hangupPipe[0] < 0 && ::pipe2(hangupPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    delete notifier;
    notifier =
        new QSocketNotifier(hangupPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [messageName]() {
        char bytes[16];
        while (::read(hangupPipe[0], bytes, sizeof bytes) > 0) {
        }
        Timer::set(messageName, 1, QString());
    });
    struct sigaction action = {};
    action.sa_handler = onHangup;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGHUP, &action, nullptr) == 0;
}

} // namespace Orvel
