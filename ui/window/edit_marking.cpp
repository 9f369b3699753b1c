// Colours of the controls: aqua marks a value changed by the user and not yet read or written.
#include "ui/window/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPalette>
#include <QTabWidget>

namespace {

const char ColorProperty[] = "olvColor";

} // namespace

void EditMarking::SetEdited(QWidget* control) {
    SetColor(control, QColor(0, 255, 255));
}

void EditMarking::SetNormal(QWidget* control) {
    SetColor(control, QColor(255, 255, 255));
}

void EditMarking::SetColor(QWidget* control, const QColor& color) {
    if (!control) return;
    if (control->property(ColorProperty).value<QColor>() == color) return;
    control->setProperty(ColorProperty, color);
    // A palette alone does not reach the face of a combo box under most styles; a style sheet that
    // names the control's own class does.
    const QString selector = QString::fromLatin1(control->metaObject()->className());
    QString sheet = QStringLiteral("%1 { background-color: %2; }").arg(selector, color.name());
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->lineEdit())
            sheet += QStringLiteral(" QLineEdit { background-color: %1; }").arg(color.name());
        // A drop-down list whose entries are drawn as menu items (Fusion and others) takes the face's
        // background for the highlight of the current entry too, which then shows as an empty box of
        // the face colour with the highlighted text colour on it: the entry keeps the usual highlight.
        sheet += QStringLiteral(" QComboBox::item:selected { background-color: palette(highlight);"
                                " color: palette(highlighted-text); }");
    }
    control->setStyleSheet(sheet);
}

QColor EditMarking::ColorOf(const QWidget* control) {
    return control->property(ColorProperty).value<QColor>();
}

void TForm1::FocusRefusedField(QWidget* field) {
    // Leaving a page whitens its fields: the refused field's page is shown first, then its colour
    // put back.
    const QColor color = ColorOf(field);
    for (int page = 0; page < TabbedNotebook1->count(); ++page)
        if (TabbedNotebook1->widget(page)->isAncestorOf(field)) TabbedNotebook1->setCurrentIndex(page);
    if (color.isValid()) SetColor(field, color);
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
}

QColor EditMarking::ButtonFaceColor() {
    return QApplication::palette().color(QPalette::Button);
}
