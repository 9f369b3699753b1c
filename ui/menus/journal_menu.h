#pragma once

#include "link/result_flags.h"

#include <QObject>
#include <QString>

#include <cstdint>

class MenuHost;
class PageHost;
struct Form1Controls;
struct WriteRecord;

namespace olv::device {
struct PageWriteResult;
} // namespace olv::device

// The journal of writes: its check before a write, the state read before it, its line after it, and
// "Файл" → "Журнал изменений…".
class JournalMenu : public QObject {
  public:
    JournalMenu(PageHost& host, MenuHost& window, Form1Controls& ui);

    void Wire(); // N8 to its handler

    void N8Click(); // "Журнал изменений…"
    // The journal of writes, journal.csv in the working folder (the data folder).
    static QString JournalPath();
    // Before a write: whether the journal takes a line; if not, the user is asked whether to write
    // without an entry. False: nothing may be written.
    bool JournalAllowsWrite();
    // Before a write, after JournalAllowsWrite: the instrument's state into record.before, with where it
    // is. When this fails nothing may be written.
    olv::link::ResultFlags ReadBeforeWrite(WriteRecord& record, uint8_t& exceptionCode);
    // After a write that sent anything: its line, synced, unless the user chose to write without one.
    void JournalWrite(const QString& operation, const WriteRecord& record,
                      const olv::device::PageWriteResult& result);

  private:
    PageHost& host;
    MenuHost& window;
    Form1Controls& ui;
    bool declined_ = false; // the user chose to write without a journal entry
};
