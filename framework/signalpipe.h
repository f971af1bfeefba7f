#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace Orvel {

// POSIX signals as calls on the event loop: the signal handler only writes a
// byte into a pipe, and the pipe's notifier calls `onSignal` on the thread
// that made the object, between deliveries, never inside the handler. While
// the object lives it owns its signals; when it goes they are default again.
// Signals that arrive together may be reported by one call.
class SignalPipe
{
public:
    SignalPipe(std::initializer_list<int> signalNumbers, std::function<void()> onSignal);
    ~SignalPipe();
    SignalPipe(const SignalPipe &) = delete;
    SignalPipe &operator=(const SignalPipe &) = delete;

    // False when no pipe could be made: the signals keep their old action.
    bool isWatching() const { return m_notifier != nullptr; }

private:
    std::vector<int> m_signals;
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace Orvel
