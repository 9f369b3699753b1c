#include "ui/app/olv_application.h"

#include <QLibraryInfo>

void InstallQtRussian(QTranslator& translator) {
    if (translator.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);
}

OlvApplication::OlvApplication(int& argc, char** argv) : QApplication(argc, argv) {
    InstallQtRussian(qtTranslation_);
}

bool OlvApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        if (!handler_) throw;
        handler_(receiver, &error);
    } catch (...) {
        if (!handler_) throw;
        handler_(receiver, nullptr);
    }
    return false;
}
