#pragma once

class QPlainTextEdit;
class QString;
class QWidget;

// Setters that leave a control alone when it already shows what is set. Qt lays out and repaints a
// memo given its own text again, and polishes a widget given its own style sheet again, which makes
// its page lay out and repaint too: once a second on the live page, most of the program's processor
// time while it polls.
void SetPlainTextQuietly(QPlainTextEdit* memo, const QString& text);
void SetStyleSheetQuietly(QWidget* widget, const QString& sheet);
void SetPointSizeQuietly(QWidget* widget, int points);
