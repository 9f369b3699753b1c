// "Журнал изменений": the journal's lines as a table, filtered by serial number.
#include "ui/dialogs/journal_dialog.h"

#include "records/journal.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The fixed columns of a journal line; the changed fields follow in threes.
constexpr int FixedColumns = 8;

} // namespace

JournalDialog::JournalDialog(const QString& journalPath, QWidget* parent)
    : QDialog(parent), path_(journalPath) {
    setObjectName(QStringLiteral("JournalDialog"));
    setWindowTitle(QStringLiteral("Журнал изменений"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QDir::toNativeSeparators(journalPath), this));
    auto* filter = new QHBoxLayout();
    filter->addWidget(new QLabel(QStringLiteral("Заводской номер:"), this));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setToolTip(QStringLiteral("Показать только записи приборов с этим заводским номером"));
    filter->addWidget(Edit1, 1);
    layout->addLayout(filter);

    StringGrid1 = new QTableWidget(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(StringGrid1, 1);

    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
    connect(Edit1, &QLineEdit::textChanged, this, [this] { reload(); });
    reload();
    resize(900, 500);
}

void JournalDialog::reload() {
    const std::vector<QStringList> entries = olv::records::ReadJournal(path_, Edit1->text().trimmed());
    const QStringList header{
        QStringLiteral("Дата и время"), QStringLiteral("Порт"),   QStringLiteral("Устройство"),
        QStringLiteral("Адрес"),        QStringLiteral("Модель"), QStringLiteral("Заводской номер"),
        QStringLiteral("Операция"),     QStringLiteral("Итог"),   QStringLiteral("Изменения")};
    StringGrid1->clear();
    StringGrid1->setColumnCount(int(header.size()));
    StringGrid1->setHorizontalHeaderLabels(header);
    StringGrid1->setRowCount(int(entries.size()));
    for (int row = 0; row < int(entries.size()); ++row) {
        const QStringList& fields = entries[size_t(row)];
        for (int column = 0; column < FixedColumns; ++column)
            StringGrid1->setItem(row, column, new QTableWidgetItem(fields.value(column)));
        QStringList changes;
        for (qsizetype i = FixedColumns; i + 2 < fields.size(); i += 3)
            changes << QStringLiteral("%1: %2 → %3")
                           .arg(fields.value(i), fields.value(i + 1), fields.value(i + 2));
        StringGrid1->setItem(row, FixedColumns, new QTableWidgetItem(changes.join(QStringLiteral("; "))));
    }
    StringGrid1->resizeColumnsToContents();
}
