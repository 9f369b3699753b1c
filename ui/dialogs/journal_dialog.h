#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QTableWidget;

// "Журнал изменений": every write recorded in the journal, newest first, filtered by serial number.
class JournalDialog : public QDialog {
    Q_OBJECT

  public:
    explicit JournalDialog(const QString& journalPath, QWidget* parent = nullptr);

    // Reads the journal again with the serial number typed in Edit1.
    void reload();

    QLineEdit* Edit1 = nullptr;          // serial number filter
    QTableWidget* StringGrid1 = nullptr; // one line per write

  private:
    QString path_;
};
