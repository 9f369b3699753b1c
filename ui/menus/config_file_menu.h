#pragma once

#include <QObject>

#include <functional>

class Form2;
class MenuHost;
class PageHost;
struct Form1Controls;

namespace olv::records {
struct ConfigFile;
struct InstrumentState;
} // namespace olv::records

// "Файл" → "Сохранить конфигурацию прибора…" and "Открыть конфигурацию прибора…": the instrument's
// configuration as a file, and the compare dialog Form2 with its write to a replacement and its
// "Показать на странице".
class ConfigFileMenu : public QObject {
  public:
    ConfigFileMenu(PageHost& host, MenuHost& window, Form1Controls& ui);

    void Wire(); // N5, N6 to their handlers

    void N5Click(); // "Сохранить конфигурацию прибора…"
    void N6Click(); // "Открыть конфигурацию прибора…": compare, write to the instrument, show on the page
    // Form2's "Записать в прибор": the file's configuration into the instrument on the line through the
    // configuration write (and, with withLink, the communication settings write), read back and
    // compared; `device` becomes what was read back. True when every written field reads back equal.
    bool WriteConfigurationFile(const olv::records::ConfigFile& file, bool withIdentity, bool withLink,
                                olv::records::InstrumentState& device, Form2* dialog);
    // Form2's "Показать на странице": the file's values into the sensor page's fields (and the text
    // into Edit8), marked as edits.
    bool ShowConfigurationFile(const olv::records::ConfigFile& file,
                               const olv::records::InstrumentState& device, bool withIdentity);
    // Tests run the compare dialog themselves (they press its buttons); otherwise it is shown modal.
    std::function<void(Form2& dialog)> runCompareDialog;

  private:
    PageHost& host;
    MenuHost& window;
    Form1Controls& ui;
};
