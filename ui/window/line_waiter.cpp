#include "ui/window/line_waiter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <poll.h>

#include <chrono>
#include <memory>

using olv::link::WaitClock;

LineWaiter::LineWaiter(QObject* parent) : QObject(parent) {
    olv::link::SetDescriptorWaiter(
        [this](int fd, short events, WaitClock::time_point deadline) { return wait(fd, events, deadline); });
}

LineWaiter::~LineWaiter() {
    olv::link::SetDescriptorWaiter({});
}

int LineWaiter::wait(int fd, short events, WaitClock::time_point deadline) {
    if (depth_ > 0 || QThread::currentThread() != thread() || QCoreApplication::instance() == nullptr)
        return olv::link::PollDescriptor(fd, events, deadline);

    ++depth_;
    int ready = 0;
    for (;;) {
        // What the descriptor says now: a reply that came while a repaint ran is taken even if the
        // deadline passed meanwhile.
        ready = olv::link::PollDescriptor(fd, events, WaitClock::now());
        if (ready != 0) {
            yieldWhenDue();
            break;
        }
        if (WaitClock::now() >= deadline) break;

        QEventLoop loop;
        std::unique_ptr<QSocketNotifier> readable, writable;
        if (events & POLLIN) {
            readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            connect(readable.get(), &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        }
        if (events & POLLOUT) {
            writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
            connect(writable.get(), &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        }
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - WaitClock::now());
        timer.setInterval(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start();
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        eventsRan_ = clock_();
    }
    --depth_;
    if (depth_ == 0 && afterWait_) afterWait_();
    return ready;
}

void LineWaiter::yieldWhenDue() {
    const auto now = clock_();
    if (now - eventsRan_ < YieldInterval) return;
    // One pass over what is pending, without waiting for more: the read goes on right after it.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    eventsRan_ = clock_();
}
