// Colours of the controls: aqua marks a value changed by the user and not yet read or written.
#include "ui/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPalette>

namespace {

const char ColorProperty[] = "olvColor";

} // namespace

void TForm1::SetEdited(QWidget* control) {
    SetColor(control, QColor(0, 255, 255));
}

void TForm1::SetNormal(QWidget* control) {
    SetColor(control, QColor(255, 255, 255));
}

void TForm1::SetColor(QWidget* control, const QColor& color) {
    if (!control) return;
    if (control->property(ColorProperty).value<QColor>() == color) return;
    control->setProperty(ColorProperty, color);
    // A palette alone does not reach the face of a combo box under most styles; a style sheet that
    // names the control's own class does, and leaves its drop-down list as it was.
    const QString selector = QString::fromLatin1(control->metaObject()->className());
    QString sheet = QStringLiteral("%1 { background-color: %2; }").arg(selector, color.name());
    if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit())
        sheet += QStringLiteral(" QLineEdit { background-color: %1; }").arg(color.name());
    control->setStyleSheet(sheet);
}

QColor TForm1::ColorOf(const QWidget* control) {
    return control->property(ColorProperty).value<QColor>();
}

QColor TForm1::ButtonFaceColor() {
    return QApplication::palette().color(QPalette::Button);
}
