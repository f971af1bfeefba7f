#include "signalpipe.h"

#include <QSocketNotifier>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace Orvel {

namespace {

// The pipe each signal writes to, for the handler, which may only use what
// is safe in a signal handler.
int writeEnds[NSIG];
bool writeEndsReady = false;

void writeByte(int signalNumber)
{
    const char byte = 1;
    const ssize_t written = ::write(writeEnds[signalNumber], &byte, 1);
    (void)written; // a full pipe already holds a pending call
}

} // namespace

SignalPipe::SignalPipe(std::initializer_list<int> signalNumbers, std::function<void()> onSignal)
    : m_signals(signalNumbers)
{
    if (!writeEndsReady) {
        std::fill(std::begin(writeEnds), std::end(writeEnds), -1);
        writeEndsReady = true;
    }
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    const int readEnd = m_pipe[0];
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [readEnd, onSignal]() {
        char bytes[16];
        while (::read(readEnd, bytes, sizeof bytes) > 0) {
        }
        onSignal();
    });
    struct sigaction action = {};
    action.sa_handler = writeByte;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : m_signals) {
        writeEnds[signalNumber] = m_pipe[1];
        ::sigaction(signalNumber, &action, nullptr);
    }
}

SignalPipe::~SignalPipe()
{
    for (const int signalNumber : m_signals) {
        ::signal(signalNumber, SIG_DFL);
        writeEnds[signalNumber] = -1;
    }
    m_notifier.reset();
    for (int &fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace Orvel
