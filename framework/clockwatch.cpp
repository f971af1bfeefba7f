#include "clockwatch.h"

#include "trace.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <limits>

#include <sys/timerfd.h>
#include <unistd.h>

namespace Orvel {

namespace {

qint64 readMs(clockid_t clock)
{
    timespec now = {};
    ::clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The wall clock's lead over the monotonic clock: a jump changes it.
qint64 wallLeadMs()
{
    return readMs(CLOCK_REALTIME) - readMs(CLOCK_MONOTONIC);
}

} // namespace

struct ClockWatch::Private
{
    std::function<void(qint64)> onJump;
    int fd = -1;
    qint64 lead = 0;
    std::unique_ptr<QSocketNotifier> notifier;

    // The lead is taken before arming: a jump between the two still shows in
    // the next one's size.
    bool arm()
    {
        lead = wallLeadMs();
        itimerspec never = {};
        never.it_value.tv_sec = std::numeric_limits<time_t>::max();
        return ::timerfd_settime(fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &never,
                                 nullptr) == 0;
    }

    // ECANCELED is the kernel's word for "the wall clock jumped"; the watch
    // must be armed again to hear of the next jump.
    void onActivated()
    {
        std::uint64_t expirations = 0;
        if (::read(fd, &expirations, sizeof expirations) >= 0 || errno != ECANCELED)
            return;
        const qint64 before = lead;
        if (!arm())
            TraceLine(0, "clockwatch", __LINE__)
                << "Cannot re-arm the wall-clock watch, errno" << errno;
        onJump(lead - before);
    }
};

ClockWatch::ClockWatch(std::function<void(qint64 milliseconds)> onJump)
    : m_private(std::make_unique<Private>())
{
    m_private->onJump = std::move(onJump);
    m_private->fd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_private->fd < 0 || !m_private->arm()) {
        TraceLine(1, "clockwatch", __LINE__)
            << "No wall-clock watch, errno" << errno << "- clock changes wait for the next timer";
        return;
    }
    m_private->notifier = std::make_unique<QSocketNotifier>(m_private->fd, QSocketNotifier::Read);
    QObject::connect(m_private->notifier.get(), &QSocketNotifier::activated,
                     [this]() { m_private->onActivated(); });
}

ClockWatch::~ClockWatch()
{
    m_private->notifier.reset();
    if (m_private->fd >= 0)
        ::close(m_private->fd);
}

bool ClockWatch::isWatching() const
{
    return bool(m_private->notifier);
}

} // namespace Orvel
