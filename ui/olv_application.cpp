#include "ui/olv_application.h"

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
