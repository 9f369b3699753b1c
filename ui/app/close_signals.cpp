#include "ui/app/close_signals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int HandledSignals[] = {SIGTERM, SIGINT, SIGHUP};

// A later signal ends the process at once only when the close it asked for has been running this
// long. The close begins when the window's thread takes the first signal, which waits for a
// transaction in progress (up to its reply time-out) or an operation's reads; until then a later
// signal is ignored, so a user who presses Ctrl+C twice, or a service manager that repeats its
// request, never costs the settings.
constexpr long long PatienceMs = 5000;

int pipeFds[2] = {-1, -1};
volatile sig_atomic_t signalsSeen = 0;
std::atomic<long long> closeStartedAt{0}; // CLOCK_MONOTONIC milliseconds; 0 until the close begins
static_assert(std::atomic<long long>::is_always_lock_free, "read in a signal handler");
struct sigaction previousActions[3];

long long MonotonicMs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now); // async-signal-safe
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Runs in signal context: only async-signal-safe calls.
void OnSignal(int signalNumber) {
    const int savedErrno = errno;
    if (signalsSeen > 0) {
        // Asked again: stop now if the close has had its chance, else let it go on.
        const long long started = closeStartedAt.load();
        if (started != 0 && MonotonicMs() - started >= PatienceMs) _exit(128 + signalNumber);
        errno = savedErrno;
        return;
    }
    signalsSeen = 1;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

CloseSignals::CloseSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (pipeFds[0] >= 0) return; // another instance holds the signals
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return;
    }
    signalsSeen = 0;
    closeStartedAt = 0;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readPipe(); });

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : HandledSignals)
        sigaddset(&action.sa_mask, signalNumber); // one handler at a time
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        sigaction(HandledSignals[i], &action, &previousActions[i]);
}

CloseSignals::~CloseSignals() {
    if (!notifier_) return;
    for (int i = 0; i < 3; ++i)
        sigaction(HandledSignals[i], &previousActions[i], nullptr);
    delete notifier_;
    notifier_ = nullptr;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void CloseSignals::StartPatience() {
    if (signalsSeen > 0 && closeStartedAt.load() == 0) closeStartedAt = MonotonicMs();
}

void CloseSignals::readPipe() {
    unsigned char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1) {
        if (closeStartedAt.load() == 0 && !(transactionWaiting_ && transactionWaiting_()))
            closeStartedAt = MonotonicMs();
        if (onSignal_) onSignal_(byte);
    }
}
