#include "app/UnixSignalWatcher.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace brivet {
namespace {

// A signal handler can reach nothing but process-wide state; this descriptor is the one
// piece of it, written once before the handlers are installed.
int g_signalWriteFd = -1;
int g_signalReadFd = -1;

void onSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] ssize_t written = ::write(g_signalWriteFd, &byte, 1);
}

} // namespace

UnixSignalWatcher::UnixSignalWatcher(QObject* parent) : QObject(parent)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return;
    g_signalWriteFd = fds[0];
    g_signalReadFd = fds[1];
    m_notifier = new QSocketNotifier(g_signalReadFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignalWatcher::readSignal);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

UnixSignalWatcher::~UnixSignalWatcher()
{
    if (g_signalReadFd < 0)
        return;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    ::close(g_signalWriteFd);
    ::close(g_signalReadFd);
    g_signalWriteFd = g_signalReadFd = -1;
}

void UnixSignalWatcher::readSignal()
{
    unsigned char byte = 0;
    if (::read(g_signalReadFd, &byte, 1) == 1)
        emit terminationRequested(byte);
}

} // namespace brivet
