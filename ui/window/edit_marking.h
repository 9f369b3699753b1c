#pragma once

#include <QColor>

class QWidget;

// The colours of the window's fields: aqua marks a value changed by the user and not yet read or
// written, white one that is the instrument's (edit_marking.cpp).
struct EditMarking {
    static void SetEdited(QWidget* control); // aqua: changed by the user, not yet read or written
    static void SetNormal(QWidget* control); // white
    static void SetColor(QWidget* control, const QColor& color);
    static QColor ColorOf(const QWidget* control); // the colour last set by SetColor (invalid if none)
    static QColor ButtonFaceColor();
};
