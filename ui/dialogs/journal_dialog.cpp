// The journal of writes: the check before a write, the line after it, and "Журнал изменений…".
#include "ui/dialogs/journal_dialog.h"

#include "ui/window/form1.h"

#include "messages/message_boxes.h"
#include "records/journal.h"
#include "records/page_write_record.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

namespace {

// The fixed columns of a journal line; the changed fields follow in threes.
constexpr int FixedColumns = 8;

} // namespace

QString TForm1::JournalPath() const {
    return QDir::current().absoluteFilePath(QString::fromLatin1(olv::records::JournalFileName));
}

bool TForm1::JournalAllowsWrite() {
    journalDeclined_ = false;
    QString reason;
    if (olv::records::JournalTakesLine(JournalPath(), reason)) return true;
    const BoxAnswer answer = boxes->show(
        {QStringLiteral(
             "Журнал изменений %1 не может быть записан: %2.\nЗаписать в прибор без записи в журнал?")
             .arg(QDir::toNativeSeparators(JournalPath()), reason),
         QStringLiteral("Подтвердите действие"),
         BoxIcon::Warning,
         BoxButtons::YesNo,
         {}});
    if (answer != BoxAnswer::Yes) return false;
    journalDeclined_ = true;
    return true;
}

olv::link::ResultFlags TForm1::ReadBeforeWrite(WriteRecord& record, uint8_t& exceptionCode) {
    record.target = TargetInstrument();
    record.devicePath =
        QFile::decodeName(QByteArray::fromStdString(portLink.pathOf(linkSettings.portNumber)));
    const olv::link::ResultFlags flags = ReadInstrumentState(record.before, exceptionCode);
    record.beforeRead = olv::link::Succeeded(flags, exceptionCode);
    return flags;
}

void TForm1::JournalWrite(const QString& operation, const WriteRecord& record,
                          const olv::device::PageWriteResult& result) {
    if (journalDeclined_) return;
    const olv::records::JournalEntry entry = olv::records::JournalEntryOf(
        QDateTime::currentDateTime(), {record.target, record.devicePath}, record.before, operation, result);
    QString reason;
    if (olv::records::AppendJournal(JournalPath(), entry, reason)) return;
    boxes->show({QStringLiteral("Строка не записана в журнал изменений %1: %2.")
                     .arg(QDir::toNativeSeparators(JournalPath()), reason),
                 QStringLiteral("Ошибка"),
                 BoxIcon::Warning,
                 BoxButtons::Ok,
                 {}});
}

// "Журнал изменений…": the journal, newest first.
void TForm1::N8Click() {
    JournalDialog dialog(JournalPath(), this);
    dialog.exec();
}

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
