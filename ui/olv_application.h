#pragma once

#include <QApplication>

#include <exception>
#include <functional>

// The application object: an exception that escapes the handling of an event goes to the installed
// handler (the window's MEx) instead of ending the program.
class OlvApplication : public QApplication {
    Q_OBJECT

  public:
    using ExceptionHandler = std::function<void(QObject* receiver, const std::exception* error)>;

    OlvApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    void setExceptionHandler(ExceptionHandler handler) { handler_ = std::move(handler); }
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    ExceptionHandler handler_;
};
