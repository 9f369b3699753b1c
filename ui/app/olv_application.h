#pragma once

#include <QApplication>
#include <QTranslator>

#include <exception>
#include <functional>

// The application object: an exception that escapes the handling of an event goes to the installed
// handler (the window's MEx) instead of ending the program. Qt's own texts (standard buttons, file
// dialogs) are Russian whatever the system locale, like the rest of the window.
class OlvApplication : public QApplication {
    Q_OBJECT

  public:
    using ExceptionHandler = std::function<void(QObject* receiver, const std::exception* error)>;

    OlvApplication(int& argc, char** argv);

    void setExceptionHandler(ExceptionHandler handler) { handler_ = std::move(handler); }
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    ExceptionHandler handler_;
    QTranslator qtTranslation_;
};

// Loads Qt's own Russian translation (qtbase_ru from Qt's translations folder) into the translator and
// installs it in the running application. Without the file Qt's texts simply stay English.
void InstallQtRussian(QTranslator& translator);
