#include "ui/widgets/quiet_setters.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QString>
#include <QWidget>

void SetPlainTextQuietly(QPlainTextEdit* memo, const QString& text) {
    if (memo->toPlainText() != text) memo->setPlainText(text);
}

void SetStyleSheetQuietly(QWidget* widget, const QString& sheet) {
    if (widget->styleSheet() != sheet) widget->setStyleSheet(sheet);
}

void SetPointSizeQuietly(QWidget* widget, int points) {
    if (widget->font().pointSize() == points) return;
    QFont font = widget->font();
    font.setPointSize(points);
    widget->setFont(font);
}
