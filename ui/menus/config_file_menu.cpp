// Menu "Файл": the instrument's configuration as a file, and the compare dialog Form2 with its write to
// a replacement and its "show on the page".
#include "ui/menus/config_file_menu.h"

#include "ui/dialogs/form2.h"
#include "ui/menus/menu_host.h"
#include "ui/pages/page_text.h"
#include "ui/pages/sensor/sensor_page.h"
#include "ui/widgets/caption_panel.h"
#include "ui/widgets/write_progress.h"
#include "ui/window/edit_marking.h"
#include "ui/window/form1_controls.h"
#include "ui/window/form_fill.h"
#include "ui/window/line_flag.h"
#include "ui/window/page_host.h"

#include "device/device_link.h"
#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "link/link_settings.h"
#include "link/port_link.h"
#include "link/port_master.h"
#include "messages/message_boxes.h"
#include "records/config_file.h"
#include "records/instrument_state.h"
#include "records/page_write_record.h"
#include "settings/ini_file.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include <optional>

using olv::link::ResultFlags;
using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
using olv::records::ConfigFile;
using olv::records::InstrumentState;
namespace reg = olv::device::reg;

namespace {

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

void ShowBox(olv::messages::MessageBoxes& boxes, const QString& text, const QString& caption, BoxIcon icon,
             const QString& detail = QString()) {
    boxes.show({text, caption, icon, BoxButtons::Ok, detail});
}

// A file made for another model is not written into this one, nor shown as if it were its own.
bool SameModel(olv::messages::MessageBoxes& boxes, const QString& fileName, const InstrumentState& file,
               const InstrumentState& device) {
    const QString mismatch = olv::records::ModelMismatch(fileName, file, device);
    if (mismatch.isEmpty()) return true;
    ShowBox(boxes, mismatch, QStringLiteral("Ошибка"), BoxIcon::Warning);
    return false;
}

// The name a save goes to: with the first filter entry, the extension is added when it is missing.
QString WithSuffix(QString fileName, bool firstFilter, const QString& suffix) {
    if (firstFilter && !fileName.endsWith(suffix, Qt::CaseInsensitive)) fileName += suffix;
    return fileName;
}

} // namespace

ConfigFileMenu::ConfigFileMenu(PageHost& host, MenuHost& window, Form1Controls& ui)
    : host(host), window(window), ui(ui) {}

void ConfigFileMenu::Wire() {
    host.On(ui.N5, &QAction::triggered, this, &ConfigFileMenu::N5Click);
    host.On(ui.N6, &QAction::triggered, this, &ConfigFileMenu::N6Click);
}

// "Сохранить конфигурацию прибора…": reads the instrument on the line and saves what it holds.
void ConfigFileMenu::N5Click() {
    QString fileName;
    bool firstFilter = true;
    if (!window.ChooseFile(ui.SaveDialog2, fileName, firstFilter)) return;
    fileName = WithSuffix(fileName, firstFilter, QStringLiteral(".cfg"));
    if (const QString refusal = olv::records::RefusedSaveName(fileName); !refusal.isEmpty()) {
        ShowBox(host.Boxes(), refusal, QStringLiteral("Ошибка"), BoxIcon::Warning);
        return;
    }

    const std::unique_ptr<OperationHold> operation = host.BeginOperation();
    if (!operation->started()) return;
    InstrumentState state;
    if (!window.ReadInstrumentStateOrReport(state)) return;
    const olv::records::SaveOutcome saved = olv::records::SaveConfiguration(
        fileName,
        olv::records::ConfigFileOf(
            state, {host.TargetInstrument(),
                    QFile::decodeName(QByteArray::fromStdString(host.Port().pathOf(host.Link().portNumber))),
                    QDateTime::currentDateTime(), window.Window().windowTitle()}));
    ShowBox(host.Boxes(), saved.text,
            saved.saved ? QStringLiteral("Результат операции") : QStringLiteral("Ошибка"),
            saved.saved ? BoxIcon::Information : BoxIcon::Warning, saved.detail);
}

// "Открыть конфигурацию прибора…": a file that cannot be taken is refused before anything else happens;
// otherwise the instrument is read and Form2 shows both.
void ConfigFileMenu::N6Click() {
    QString fileName;
    bool firstFilter = true;
    if (!window.ChooseFile(ui.OpenDialog2, fileName, firstFilter)) return;
    QString reason;
    const std::optional<ConfigFile> file = olv::records::LoadConfigFile(fileName, reason);
    if (!file) {
        ShowBox(host.Boxes(), QStringLiteral("Файл %1 не принят: %2.").arg(Native(fileName), reason),
                QStringLiteral("Ошибка"), BoxIcon::Warning);
        return;
    }

    const std::unique_ptr<OperationHold> operation = host.BeginOperation();
    if (!operation->started()) return;
    InstrumentState device;
    if (!window.ReadInstrumentStateOrReport(device)) return;

    Form2 dialog(
        QStringLiteral("Файл: %1\nПрочитан: %2, %3, адрес %4 (%5)")
            .arg(Native(fileName), file->readAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")), file->port)
            .arg(file->address)
            .arg(file->program),
        &window.Window());
    dialog.ShowRows(olv::records::CompareRows(device, file->state));
    const auto whileBusy = [&dialog](const std::function<void()>& step) {
        // The write pauses between its blocks and handles events meanwhile: no second click may start
        // another one.
        for (QWidget* button : {static_cast<QWidget*>(dialog.Button1), static_cast<QWidget*>(dialog.Button2),
                                static_cast<QWidget*>(dialog.Button3)})
            button->setEnabled(false);
        step();
        for (QWidget* button : {static_cast<QWidget*>(dialog.Button1), static_cast<QWidget*>(dialog.Button2),
                                static_cast<QWidget*>(dialog.Button3)})
            button->setEnabled(true);
    };
    QObject::connect(dialog.Button1, &QPushButton::clicked, &dialog, [&] {
        host.Guarded(dialog.Button1, [&] {
            whileBusy([&] {
                WriteConfigurationFile(*file, dialog.CheckBox1->isChecked(), dialog.CheckBox2->isChecked(),
                                       device, &dialog);
            });
        });
    });
    QObject::connect(dialog.Button2, &QPushButton::clicked, &dialog, [&] {
        host.Guarded(dialog.Button2, [&] {
            if (ShowConfigurationFile(*file, device, dialog.CheckBox1->isChecked())) dialog.accept();
        });
    });
    if (runCompareDialog)
        runCompareDialog(dialog);
    else
        dialog.exec();
}

bool ConfigFileMenu::WriteConfigurationFile(const ConfigFile& file, bool withIdentity, bool withLink,
                                            InstrumentState& device, Form2* dialog) {
    const QString& fileName = file.path;
    if (!SameModel(host.Boxes(), fileName, file.state, device)) return false;
    // What the instrument will hold: the file's words but those it keeps, and the file's link values.
    InstrumentState meant = device;
    meant.image.words = file.state.image.words;
    olv::device::TakeOwnedBits(meant.image, device.image,
                               olv::records::InstrumentKeepsOnFileWrite(withIdentity));
    QStringList rows;
    if (withLink) {
        meant.image.words[reg::AddressBaud] = file.state.image.words[reg::AddressBaud];
        meant.image.words[reg::ByteOrder] = file.state.image.words[reg::ByteOrder];
        meant.parity = file.state.parity;
    }
    rows = olv::records::ConfirmationRows(&device, meant,
                                          olv::records::ConfigFileWriteGroups(withIdentity, withLink));
    if (withLink)
        rows << QStringLiteral("После записи прибор будет отвечать %1.")
                    .arg(olv::records::LinkAnswersAt(olv::records::LinkValuesOfState(file.state)));
    const BoxAnswer answer = host.Boxes().show(
        {QStringLiteral("Конфигурация из файла будет записана в прибор с заводским номером %1?")
             .arg(olv::records::SerialText(device)),
         QStringLiteral("Подтвердите действие"),
         BoxIcon::Warning,
         BoxButtons::YesNo,
         {},
         rows.join(u'\n')});
    if (answer != BoxAnswer::Yes || !host.JournalAllowsWrite()) return false;

    uint8_t exceptionCode = 0;
    WriteRecord record;
    const ResultFlags flags = host.ReadBeforeWrite(record, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        host.ReportExchangeError(flags, exceptionCode);
        return false;
    }
    // Another instrument may have been put on the line since the dialog read this one.
    if (!SameModel(host.Boxes(), fileName, file.state, record.before)) return false;

    ui.ProgressBar1->setMaximum(withLink ? 10 : 7);
    ui.ProgressBar1->setValue(0);
    ui.Panel3->setCaption(QStringLiteral("Запись параметров"));
    ui.Panel3->setVisible(true);
    host.RepaintNow();
    const olv::device::WriteHooks hooks =
        WriteProgressHooks([this](int ms) { host.Pause(ms); }, ui.ProgressBar1, &window.Window());
    const std::unique_ptr<olv::device::DeviceLinkSteps> follow =
        host.LinkFollower(olv::records::LinkValuesOfState(file.state));
    const olv::device::PageWriteResult result = olv::records::WriteConfigFileInto(
        host.Master(), file, record.before, withIdentity, withLink, *follow, hooks);
    ui.Panel3->setVisible(false);
    if (result.stop != olv::device::WriteStop::Refused)
        host.JournalWrite(
            QStringLiteral("Запись конфигурации из файла %1").arg(QFileInfo(fileName).fileName()), record,
            result);

    if (result.stop == olv::device::WriteStop::None || result.stop == olv::device::WriteStop::Mismatch) {
        // The window shows the instrument as the read-back found it: every written block read back, the
        // rest as read just before.
        const InstrumentState readBack = olv::records::StateAfterWrite(record.before, result);
        device = readBack;
        olv::device::RegisterImage& image = host.Image();
        image.words = readBack.image.words;
        image.moduleModel = readBack.image.moduleModel;
        image.moduleHardware = readBack.image.moduleHardware;
        image.moduleSoftware = readBack.image.moduleSoftware;
        image.source = host.TargetInstrument();
        TextPage& text = window.TextShown();
        text.modelValue = image.moduleModel;
        text.hardwareValue = image.moduleHardware;
        text.softwareValue = image.moduleSoftware;
        window.SensorShown().ShowConfiguration();
        text.ShowDeviceText();
        text.ShowVersions();
        if (dialog) dialog->ShowRows(olv::records::CompareRows(readBack, file.state));
    }
    return host.ReportPageWrite(
        record.before, result,
        {QStringLiteral("Конфигурация записана и проверена."),
         QStringLiteral("Конфигурация записана, но для проверки из прибора не прочитана."),
         QStringLiteral("Конфигурация записана, но прибор возвращает иные значения полей: %1.")});
}

bool ConfigFileMenu::ShowConfigurationFile(const ConfigFile& file, const InstrumentState& device,
                                           bool withIdentity) {
    if (!SameModel(host.Boxes(), file.path, file.state, device)) return false;
    const auto& w = file.state.image.words;
    olv::device::RegisterImage& image = host.Image();
    std::vector<QWidget*> changed;
    {
        const BusyWhileFilling busy(host.UiBusy());
        const auto setText = [&](QLineEdit* edit, const QString& text) {
            if (edit->text() == text) return;
            edit->setText(text);
            changed.push_back(edit);
        };
        const auto setIndex = [&](QComboBox* box, int index) {
            if (box->currentIndex() == index) return;
            box->setCurrentIndex(index);
            changed.push_back(box);
        };
        // The float fields show four decimals; their words go into the image as the file has them, so
        // that "Записать" sends the file's numbers and not the rounded texts.
        for (const auto& [edit, first] :
             {std::pair{ui.Edit2, reg::RangeMax}, std::pair{ui.Edit3, reg::RangeMin},
              std::pair{ui.Edit6, reg::TrimOffset}, std::pair{ui.Edit7, reg::TrimMultiplier}}) {
            const bool wordsDiffer = image.words[first] != w[first] || image.words[first + 1] != w[first + 1];
            image.words[first] = w[first];
            image.words[first + 1] = w[first + 1];
            const QString text = olv::device::FormatValue(olv::device::WordsToFloat(w[first], w[first + 1]));
            if (wordsDiffer && edit->text() == text) changed.push_back(edit);
            setText(edit, text);
        }
        setIndex(ui.ComboBox5, olv::device::DampingIndexFromRegister(w[reg::DampingUnits]));
        setIndex(ui.ComboBox4, olv::device::UnitsIndexFromRegister(w[reg::DampingUnits]));
        setIndex(ui.ComboBox11, olv::device::SensorUnitsIndexFromRegister(w[reg::SensorUnits]));
        if (withIdentity) {
            setText(ui.Edit5, QString::number(w[reg::Model]));
            setText(ui.Edit4, olv::records::SerialText(file.state));
            const olv::device::DateIndexes date = olv::device::DateFromRegister(w[reg::Date]);
            setIndex(ui.ComboBox6, date.day);
            setIndex(ui.ComboBox7, date.month);
            setIndex(ui.ComboBox8, date.year);
        }
        setText(ui.Edit8, olv::device::TextFromWords(w.data() + reg::Text));
    }
    for (QWidget* control : changed)
        EditMarking::SetEdited(control);
    ui.TabbedNotebook1->setCurrentIndex(1);
    return true;
}
