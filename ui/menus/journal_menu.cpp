// The journal of writes: the check before a write, the line after it, and "Журнал изменений…".
#include "ui/menus/journal_menu.h"

#include "ui/dialogs/journal_dialog.h"
#include "ui/menus/menu_host.h"
#include "ui/window/form1_controls.h"
#include "ui/window/page_host.h"

#include "link/link_settings.h"
#include "link/port_link.h"
#include "messages/message_boxes.h"
#include "records/journal.h"
#include "records/page_write_record.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMainWindow>

using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

JournalMenu::JournalMenu(PageHost& host, MenuHost& window, Form1Controls& ui)
    : host(host), window(window), ui(ui) {}

void JournalMenu::Wire() {
    host.On(ui.N8, &QAction::triggered, this, &JournalMenu::N8Click);
}

QString JournalMenu::JournalPath() {
    return QDir::current().absoluteFilePath(QString::fromLatin1(olv::records::JournalFileName));
}

bool JournalMenu::JournalAllowsWrite() {
    declined_ = false;
    QString reason;
    if (olv::records::JournalTakesLine(JournalPath(), reason)) return true;
    const BoxAnswer answer = host.Boxes().show(
        {QStringLiteral(
             "Журнал изменений %1 не может быть записан: %2.\nЗаписать в прибор без записи в журнал?")
             .arg(QDir::toNativeSeparators(JournalPath()), reason),
         QStringLiteral("Подтвердите действие"),
         BoxIcon::Warning,
         BoxButtons::YesNo,
         {}});
    if (answer != BoxAnswer::Yes) return false;
    declined_ = true;
    return true;
}

olv::link::ResultFlags JournalMenu::ReadBeforeWrite(WriteRecord& record, uint8_t& exceptionCode) {
    record.target = host.TargetInstrument();
    record.devicePath =
        QFile::decodeName(QByteArray::fromStdString(host.Port().pathOf(host.Link().portNumber)));
    const olv::link::ResultFlags flags = window.ReadInstrumentState(record.before, exceptionCode);
    record.beforeRead = olv::link::Succeeded(flags, exceptionCode);
    return flags;
}

void JournalMenu::JournalWrite(const QString& operation, const WriteRecord& record,
                               const olv::device::PageWriteResult& result) {
    if (declined_) return;
    const olv::records::JournalEntry entry = olv::records::JournalEntryOf(
        QDateTime::currentDateTime(), {record.target, record.devicePath}, record.before, operation, result);
    QString reason;
    if (olv::records::AppendJournal(JournalPath(), entry, reason)) return;
    host.Boxes().show({QStringLiteral("Строка не записана в журнал изменений %1: %2.")
                           .arg(QDir::toNativeSeparators(JournalPath()), reason),
                       QStringLiteral("Ошибка"),
                       BoxIcon::Warning,
                       BoxButtons::Ok,
                       {}});
}

// "Журнал изменений…": the journal, newest first.
void JournalMenu::N8Click() {
    JournalDialog dialog(JournalPath(), &window.Window());
    dialog.exec();
}
