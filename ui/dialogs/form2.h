#pragma once

#include "records/instrument_state.h"

#include <QDialog>
#include <QString>

#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

// The compare dialog: a configuration file beside the instrument on the line, one row per field of the
// sensor, communication and text pages, the rows that differ in bold on a marked background.
class Form2 : public QDialog {
    Q_OBJECT

  public:
    explicit Form2(const QString& fileName, QWidget* parent = nullptr);

    // The table with these rows; a later call replaces them (after a write, the read-back).
    void ShowRows(const std::vector<olv::records::CompareRow>& rows);
    // Whether a row is shown as differing.
    bool RowMarked(int row) const;

    static QColor MarkColor();

    QLabel* Label1 = nullptr; // the file and when it was read
    QTableWidget* StringGrid1 = nullptr;
    QCheckBox* CheckBox1 = nullptr; // "Записать также заводской номер и дату выпуска"
    QCheckBox* CheckBox2 = nullptr; // the communication settings as well
    QPushButton* Button1 = nullptr; // "Записать в прибор"
    QPushButton* Button2 = nullptr; // "Показать на странице"
    QPushButton* Button3 = nullptr; // "Закрыть"
};
