#pragma once

#include "link/descriptor_wait.h"

#include <QObject>

#include <functional>

// The window's wait for the line: while a transaction waits for its reply (or a connection for its
// gateway, or a full socket for room) the window's thread runs a nested event loop that paints, runs
// timers, socket notifiers and close events, but holds back user input (mouse, keys) until the wait
// is over, so no click can start a second transaction inside the first. It wakes when the descriptor
// is ready or at the deadline and then returns what a zero-time poll of the descriptor says.
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

    int wait(int fd, short events, olv::link::WaitClock::time_point deadline);
    int depth() const { return depth_; }
    // Called on the window's thread each time the outermost wait has ended (e.g. to carry out a close
    // that was held back during it).
    void setAfterWait(std::function<void()> afterWait) { afterWait_ = std::move(afterWait); }

  private:
    int depth_ = 0;
    std::function<void()> afterWait_;
};
