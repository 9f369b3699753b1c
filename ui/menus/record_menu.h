#pragma once

#include <QObject>

#include <functional>

class MenuHost;
class PageHost;
struct Form1Controls;

namespace olv::records {
struct RecordData;
} // namespace olv::records

// "Файл" → "Протокол настройки…": a commissioning record of the instrument on the line as a PDF.
class RecordMenu : public QObject {
  public:
    RecordMenu(PageHost& host, MenuHost& window, Form1Controls& ui);

    void Wire(); // N7 to its handler

    void N7Click(); // "Протокол настройки…": a PDF record
    // Everything the record states, read now: the instrument's state and its live value. False, after
    // the exchange error was reported, when the instrument could not be read.
    bool ReadRecord(olv::records::RecordData& data);
    // Asks for the site, tag and person of the record (shown as last kept for its serial number);
    // false cancels the record. A dialog unless set (tests answer without one).
    std::function<bool(olv::records::RecordData& data)> askRecordDetails;

  private:
    PageHost& host;
    MenuHost& window;
    Form1Controls& ui;
};
