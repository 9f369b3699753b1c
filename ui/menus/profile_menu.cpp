// Menu "Файл": settings profiles; recent.prf at start and exit.
#include "ui/menus/profile_menu.h"

#include "ui/menus/menu_host.h"
#include "ui/window/edit_marking.h"
#include "ui/window/form1_controls.h"
#include "ui/window/page_host.h"

#include "ui/pages/live/live_page.h"
#include "ui/pages/page_link.h"
#include "ui/pages/page_search.h"
#include "ui/pages/page_text.h"
#include "ui/pages/sensor/sensor_page.h"
#include "ui/window/form_fill.h"

#include "device/pending_device_link.h"
#include "device/register_image.h"
#include "device/register_map.h"
#include "link/link_settings.h"
#include "settings/ini_file.h"
#include "settings/profile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTabWidget>
#include <QTextEdit>

#include <optional>

namespace {

constexpr int TextWordCount = 10; // registers 48..57: the text and two words kept only in the profile

// The window's values as a profile holds them; what a load does not reach stays as the window has it.
olv::settings::ProfileValues ValuesOf(PageHost& host, Form1Controls& ui, const ProfilePages& pages) {
    olv::settings::ProfileValues values;
    values.page = ui.TabbedNotebook1->currentIndex();
    values.logFileName = pages.live.logFileName;
    values.logEnabled = pages.live.logEnabled;
    values.definitionLines = ui.RichEdit1->toPlainText().split(u'\n');
    values.search = pages.search.searchSettings;
    values.byteOrder = host.Link().byteOrder;
    for (int i = 0; i < TextWordCount; ++i)
        values.textWords[static_cast<size_t>(i)] =
            host.Image().words[static_cast<size_t>(olv::device::reg::Text + i)];
    values.model = pages.text.modelValue;
    values.hardware = pages.text.hardwareValue;
    values.software = pages.text.softwareValue;
    return values;
}

} // namespace

ProfileMenu::ProfileMenu(PageHost& host, MenuHost& window, Form1Controls& ui, ProfilePages pages)
    : host(host), window(window), ui(ui), pages(pages) {}

void ProfileMenu::Wire() {
    host.On(ui.N2, &QAction::triggered, this, &ProfileMenu::N2Click);
    host.On(ui.N3, &QAction::triggered, this, &ProfileMenu::N3Click);
}

// Reads a profile (LoadProfile) and shows its values in the window: the page (through the page change
// handling, as a click on its tab) and the description lines; the rest is held for the callers to show.
void ProfileMenu::LoadProfileToWindow(const QString& path) {
    olv::settings::ProfileValues values = ValuesOf(host, ui, pages);
    const auto showPage = [this](int page) {
        ui.TabbedNotebook1->setCurrentIndex(page);
        return ui.TabbedNotebook1->currentIndex();
    };
    std::optional<olv::settings::IniWriteError> refused;
    try {
        olv::settings::LoadProfile(path, values, showPage, ui.TabbedNotebook1->currentIndex());
    } catch (const olv::settings::IniWriteError& error) {
        // What was read before the refused write is taken all the same.
        refused = error;
    }

    pages.live.logFileName = values.logFileName;
    pages.live.logEnabled = values.logEnabled;
    pages.search.searchSettings = values.search;
    host.Link().byteOrder = values.byteOrder;
    host.PendingLink().pendingByteOrder = values.byteOrder;
    ui.RichEdit1->setPlainText(values.definitionLines.join(u'\n'));
    olv::device::RegisterImage& image = host.Image();
    for (int i = 0; i < TextWordCount; ++i)
        image.words[static_cast<size_t>(olv::device::reg::Text + i)] =
            values.textWords[static_cast<size_t>(i)];
    pages.text.modelValue = values.model;
    pages.text.hardwareValue = values.hardware;
    pages.text.softwareValue = values.software;
    image.moduleModel = static_cast<uint16_t>(values.model);
    image.moduleHardware = static_cast<uint16_t>(values.hardware);
    image.moduleSoftware = static_cast<uint16_t>(values.software);

    if (refused) window.ReportIniWriteError(*refused);
}

// Collects the window's values and writes them to a profile (SaveProfile).
void ProfileMenu::SaveWindowToProfile(const QString& path) {
    try {
        olv::settings::SaveProfile(path, ValuesOf(host, ui, pages));
    } catch (const olv::settings::IniWriteError& error) {
        window.ReportIniWriteError(error);
    }
}

// "Прочитать профиль настроек": picks a profile with OpenDialog1 and loads it. A name that does not
// exist creates the profile with the default set. The window then shows what the profile holds,
// the log switch and the search switches included.
void ProfileMenu::N2Click() {
    QString fileName;
    bool firstFilter = true;
    if (!window.ChooseFile(ui.OpenDialog1, fileName, firstFilter)) return;
    window.ReportNextIniWriteError(); // the user asked for this file: a refusal is always reported
    LoadProfileToWindow(fileName);
    pages.sensor.ShowConfiguration();
    pages.text.ShowDeviceText();
    pages.text.ShowVersions();
    ui.CheckBox11->setChecked(pages.live.logEnabled == 1);
    pages.search.ShowSearchState();
}

// "Записать профиль настроек": picks a file name with SaveDialog1 and saves the profile.
void ProfileMenu::N3Click() {
    QString fileName;
    bool firstFilter = true;
    if (!window.ChooseFile(ui.SaveDialog1, fileName, firstFilter)) return;
    // Before any read some fields show only the placeholder: they keep the image's words, the rest of
    // the window is saved all the same. A field that does not convert shows its messages.
    if (pages.sensor.CollectConfiguration(true)) return;
    pages.link.CollectDeviceLinkSettings(host.UiBusy());
    if (pages.text.CollectVersions(true)) return;
    window.ReportNextIniWriteError(); // the user asked for this file: a refusal is always reported
    SaveWindowToProfile(olv::settings::ProfileSaveName(fileName, firstFilter));
    // Edit1 keeps its highlight.
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui.Edit2, ui.Edit3, ui.Edit4, ui.Edit5, ui.Edit6, ui.Edit7, ui.Edit8, ui.ComboBox4, ui.ComboBox5,
             ui.ComboBox6, ui.ComboBox7, ui.ComboBox8, ui.ComboBox9, ui.ComboBox10, ui.ComboBox11, ui.ComboBox14,
             ui.ComboBox15, ui.ComboBox16})
        EditMarking::SetNormal(control);
}
