// Menu "Файл": settings profiles; recent.prf at start and exit.
#include "ui/window/form1.h"

#include "ui/pages/live/live_page.h"
#include "ui/pages/page_link.h"
#include "ui/pages/page_search.h"
#include "ui/pages/page_text.h"
#include "ui/pages/sensor/sensor_page.h"
#include "ui/window/form_fill.h"

#include "device/register_map.h"
#include "settings/ini_file.h"
#include "settings/profile.h"

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
olv::settings::ProfileValues ValuesOf(TForm1& form) {
    olv::settings::ProfileValues values;
    values.page = form.TabbedNotebook1->currentIndex();
    values.logFileName = form.live().logFileName;
    values.logEnabled = form.live().logEnabled;
    values.definitionLines = form.RichEdit1->toPlainText().split(u'\n');
    values.search = form.search().searchSettings;
    values.byteOrder = form.linkSettings.byteOrder;
    for (int i = 0; i < TextWordCount; ++i)
        values.textWords[static_cast<size_t>(i)] =
            form.image.words[static_cast<size_t>(olv::device::reg::Text + i)];
    values.model = form.text().modelValue;
    values.hardware = form.text().hardwareValue;
    values.software = form.text().softwareValue;
    return values;
}

} // namespace

// Reads a profile (LoadProfile) and shows its values in the window: the page (through the page change
// handling, as a click on its tab) and the description lines; the rest is held for the callers to show.
void TForm1::LoadProfileToWindow(const QString& path) {
    olv::settings::ProfileValues values = ValuesOf(*this);
    const auto showPage = [this](int page) {
        TabbedNotebook1->setCurrentIndex(page);
        return TabbedNotebook1->currentIndex();
    };
    std::optional<olv::settings::IniWriteError> refused;
    try {
        olv::settings::LoadProfile(path, values, showPage, TabbedNotebook1->currentIndex());
    } catch (const olv::settings::IniWriteError& error) {
        // What was read before the refused write is taken all the same.
        refused = error;
    }

    live_->logFileName = values.logFileName;
    live_->logEnabled = values.logEnabled;
    search_->searchSettings = values.search;
    linkSettings.byteOrder = values.byteOrder;
    pendingLink.pendingByteOrder = values.byteOrder;
    RichEdit1->setPlainText(values.definitionLines.join(u'\n'));
    for (int i = 0; i < TextWordCount; ++i)
        image.words[static_cast<size_t>(olv::device::reg::Text + i)] =
            values.textWords[static_cast<size_t>(i)];
    text_->modelValue = values.model;
    text_->hardwareValue = values.hardware;
    text_->softwareValue = values.software;
    image.moduleModel = static_cast<uint16_t>(values.model);
    image.moduleHardware = static_cast<uint16_t>(values.hardware);
    image.moduleSoftware = static_cast<uint16_t>(values.software);

    if (refused) ReportIniWriteError(*refused);
}

// Collects the window's values and writes them to a profile (SaveProfile).
void TForm1::SaveWindowToProfile(const QString& path) {
    try {
        olv::settings::SaveProfile(path, ValuesOf(*this));
    } catch (const olv::settings::IniWriteError& error) {
        ReportIniWriteError(error);
    }
}

bool TForm1::ChooseProfileFile(QFileDialog* dialog, QString& fileName, bool& firstFilterSelected) {
    if (chooseProfileFile) return chooseProfileFile(dialog, fileName, firstFilterSelected);
    // The dialog is Qt's own (not the platform's), which never changes the working directory, so
    // recent.prf is still written where the program runs.
    dialog->selectNameFilter(dialog->nameFilters().value(0));
    if (dialog->exec() != QDialog::Accepted) return false;
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return false;
    fileName = files.first();
    firstFilterSelected = dialog->selectedNameFilter() == dialog->nameFilters().value(0);
    return true;
}

// "Прочитать профиль настроек": picks a profile with OpenDialog1 and loads it. A name that does not
// exist creates the profile with the default set. The window then shows what the profile holds,
// the log switch and the search switches included.
void TForm1::N2Click() {
    QString fileName;
    bool firstFilter = true;
    if (!ChooseProfileFile(OpenDialog1, fileName, firstFilter)) return;
    iniErrorShown_ = false; // the user asked for this file: a refusal is always reported
    LoadProfileToWindow(fileName);
    sensor_->ShowConfiguration();
    text_->ShowDeviceText();
    text_->ShowVersions();
    CheckBox11->setChecked(live_->logEnabled == 1);
    search_->ShowSearchState();
}

// "Записать профиль настроек": picks a file name with SaveDialog1 and saves the profile.
void TForm1::N3Click() {
    QString fileName;
    bool firstFilter = true;
    if (!ChooseProfileFile(SaveDialog1, fileName, firstFilter)) return;
    // Before any read some fields show only the placeholder: they keep the image's words, the rest of
    // the window is saved all the same. A field that does not convert shows its messages.
    if (sensor_->CollectConfiguration(true)) return;
    link_->CollectDeviceLinkSettings(uiBusy);
    if (text_->CollectVersions(true)) return;
    iniErrorShown_ = false; // the user asked for this file: a refusal is always reported
    SaveWindowToProfile(olv::settings::ProfileSaveName(fileName, firstFilter));
    // Edit1 keeps its highlight.
    for (QWidget* control : std::initializer_list<QWidget*>{
             Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8, ComboBox4, ComboBox5, ComboBox6, ComboBox7,
             ComboBox8, ComboBox9, ComboBox10, ComboBox11, ComboBox14, ComboBox15, ComboBox16})
        SetNormal(control);
}
