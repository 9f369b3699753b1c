#pragma once

#include "link/descriptor_wait.h"

#include <QObject>

#include <chrono>
#include <functional>

// The window's wait for the line: while a transaction waits for its reply (or a connection for its
// gateway, or a full socket for room) the window's thread runs a nested event loop that paints, runs
// timers, socket notifiers and close events, but holds back user input (mouse, keys) until the wait
// is over, so no click can start a second transaction inside the first. It wakes when the descriptor
// is ready or at the deadline and then returns what a zero-time poll of the descriptor says.
//
// A descriptor that is always ready (a gateway that floods the connection with frames the transaction
// passes over) never lets that loop run: each wait returns at once. So a wait that finds the
// descriptor ready runs the pending events itself (user input still held back) whenever they last ran
// YieldInterval or more ago, and the window goes on painting and running its timers however long the
// transaction reads.
//
// While it waits, depth() is above zero: the handlers that would start a transaction or an operation
// from a timer (the live poll, the start-up read, an operation's start) look at it and do not run.
// Installed as the ports' waiter while it lives (one at a time); a wait off the window's thread, or
// one inside another, blocks in ppoll() as before.
class LineWaiter : public QObject {
  public:
    explicit LineWaiter(QObject* parent = nullptr);
    ~LineWaiter() override;
    LineWaiter(const LineWaiter&) = delete;
    LineWaiter& operator=(const LineWaiter&) = delete;

    static constexpr auto YieldInterval = std::chrono::milliseconds(10);

    int wait(int fd, short events, olv::link::WaitClock::time_point deadline);
    int depth() const { return depth_; }
    // The clock that spaces the runs of pending events during waits that find the descriptor ready (the
    // steady clock unless replaced, e.g. by tests). Deadlines are always on the steady clock.
    void setClock(std::function<olv::link::WaitClock::time_point()> clock) { clock_ = std::move(clock); }
    // Called on the window's thread each time the outermost wait has ended (e.g. to carry out a close
    // that was held back during it).
    void setAfterWait(std::function<void()> afterWait) { afterWait_ = std::move(afterWait); }

  private:
    // Runs the pending events, user input held back, when they last ran YieldInterval or more ago.
    void yieldWhenDue();

    int depth_ = 0;
    std::function<olv::link::WaitClock::time_point()> clock_ = [] { return olv::link::WaitClock::now(); };
    olv::link::WaitClock::time_point eventsRan_{}; // the last time pending events ran inside a wait
    std::function<void()> afterWait_;
};
