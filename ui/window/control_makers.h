#pragma once

#include <QString>
#include <QStringList>

class CaptionPanel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// How the window's controls are made, the same way on every page: each is created under its parent,
// named as its member is named (the tests and the settings find them by that name) and given its
// design caption or text.

// The design text of a field with no data yet.
extern const QString NoData;

template <class W> W* Make(QWidget* parent, W*& member, const char* name) {
    member = new W(parent);
    member->setObjectName(QString::fromLatin1(name));
    return member;
}

QLabel* MakeLabel(QWidget* parent, QLabel*& member, const char* name, const QString& caption);
QPushButton* MakeButton(QWidget* parent, QPushButton*& member, const char* name, const QString& caption);
QCheckBox* MakeCheckBox(QWidget* parent, QCheckBox*& member, const char* name, const QString& caption);
// An edit field; with maxLength the user can type or paste no more than that many characters into it,
// like the length limit of a native edit control (text set from code is shown whole).
QLineEdit* MakeEdit(QWidget* parent, QLineEdit*& member, const char* name, const QString& text,
                    int maxLength = 0);
// A drop-down list: the user can only pick one of its entries.
QComboBox* MakeList(QWidget* parent, QComboBox*& member, const char* name);
// An editable combo box: shows its design text until an entry is selected.
QComboBox* MakeEditableCombo(QWidget* parent, QComboBox*& member, const char* name, const QString& text);
QProgressBar* MakeProgress(QWidget* parent, QProgressBar*& member, const char* name, int maximum);
CaptionPanel* MakePanel(QWidget* parent, CaptionPanel*& member, const char* name, const QString& caption);

// Replaces the entries of a list, leaving no entry selected and the design text (if any) showing.
void FillList(QComboBox* box, const QStringList& entries);
// The numbers first..last as list entries; threeWide pads each to three places with blanks.
QStringList Numbers(int first, int last, bool threeWide = false);
// A control's hint (its "hint" property), shown as its tooltip unless displayed is false.
void SetHint(QWidget* control, const QString& hint, bool displayed = true);
// The entries of the window's lists of baud rates, parities and float byte orders.
QStringList BaudRateEntries();
QStringList ParityEntries();
QStringList ByteOrderEntries();
