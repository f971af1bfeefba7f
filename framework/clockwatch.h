#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

namespace Orvel {

// Tells when the wall clock stops matching the monotonic clock that relative
// timers count: it was set (by an operator or by time synchronisation), or
// the machine resumed from suspend. On Linux this is a timerfd on
// CLOCK_REALTIME armed with TFD_TIMER_CANCEL_ON_SET for the end of time: the
// kernel cancels it on either event. Its notifier runs on the thread that
// made the watch (the delivery thread) and never blocks.
class ClockWatch
{
public:
    // `onJump` gets how far the wall clock moved against monotonic time, in
    // milliseconds: negative when set back, the time asleep after a resume.
    explicit ClockWatch(std::function<void(qint64 milliseconds)> onJump);
    ~ClockWatch();
    ClockWatch(const ClockWatch &) = delete;
    ClockWatch &operator=(const ClockWatch &) = delete;

    // False when the system offers no such notification.
    bool isWatching() const;

private:
    struct Private;
    std::unique_ptr<Private> m_private;
};

} // namespace Orvel
