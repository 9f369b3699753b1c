#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a call on the window's thread (self-pipe and socket
// notifier), so that a terminal closing, a logout or a kill closes the window the ordinary way and
// the settings are saved. A later signal ends the process at once only once that close has been
// running for five seconds (it begins when the window's thread takes the first signal, after any
// transaction in progress); before that it is ignored.
// One instance at a time; the previous handlers are restored when it is destroyed.
class CloseSignals : public QObject {
  public:
    explicit CloseSignals(std::function<void(int signalNumber)> onSignal, QObject* parent = nullptr);
    ~CloseSignals() override;

    bool installed() const { return notifier_ != nullptr; }
    // A signal taken while this says a transaction waits for the line (the window serves its events
    // inside that wait) does not begin the close yet: StartPatience() begins it once the wait is over,
    // as if the signal had been taken then.
    void setTransactionWaiting(std::function<bool()> waiting) { transactionWaiting_ = std::move(waiting); }
    static void StartPatience();

  private:
    void readPipe();

    std::function<void(int)> onSignal_;
    std::function<bool()> transactionWaiting_;
    QSocketNotifier* notifier_ = nullptr;
};
