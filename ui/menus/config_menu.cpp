// Menu "Файл": the instrument's configuration as a file, and the compare dialog Form2 with its write to
// a replacement and its "show on the page".
#include "ui/dialogs/form2.h"
#include "ui/widgets/caption_panel.h"
#include "ui/widgets/write_progress.h"
#include "ui/window/form1.h"

#include "ui/pages/page_text.h"
#include "ui/pages/sensor/sensor_page.h"
#include "ui/window/form_fill.h"

#include "device/device_link.h"
#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "messages/message_boxes.h"
#include "records/config_file.h"
#include "records/instrument_state.h"
#include "records/page_write_record.h"
#include "settings/ini_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include <optional>

using olv::records::ConfigFile;
using olv::records::InstrumentState;
using olv::messages::BoxAnswer;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
using olv::link::ResultFlags;
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

ResultFlags TForm1::ReadInstrumentState(InstrumentState& state, uint8_t& exceptionCode) {
    const ResultFlags flags =
        olv::records::ReadInstrumentState(master, state, exceptionCode, [this](int ms) { Pause(ms); });
    // Read of the instrument on the link: another serial number than the one shown is another meter.
    if (olv::link::Succeeded(flags, exceptionCode)) NoteInstrumentRead(state.image);
    return flags;
}

// "Сохранить конфигурацию прибора…": reads the instrument on the line and saves what it holds.
void TForm1::N5Click() {
    QString fileName;
    bool firstFilter = true;
    if (!ChooseProfileFile(SaveDialog2, fileName, firstFilter)) return;
    fileName = WithSuffix(fileName, firstFilter, QStringLiteral(".cfg"));
    if (const QString refusal = olv::records::RefusedSaveName(fileName); !refusal.isEmpty()) {
        ShowBox(*boxes, refusal, QStringLiteral("Ошибка"), BoxIcon::Warning);
        return;
    }

    const InstrumentOperation operation(*this);
    if (!operation.started()) return;
    InstrumentState state;
    uint8_t exceptionCode = 0;
    const ResultFlags flags = ReadInstrumentState(state, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        ReportExchangeError(flags, exceptionCode);
        return;
    }
    const olv::records::SaveOutcome saved = olv::records::SaveConfiguration(
        fileName, olv::records::ConfigFileOf(
                      state, {TargetInstrument(),
                              QFile::decodeName(QByteArray::fromStdString(portLink.pathOf(linkSettings.portNumber))),
                              QDateTime::currentDateTime(), windowTitle()}));
    ShowBox(*boxes, saved.text, saved.saved ? QStringLiteral("Результат операции") : QStringLiteral("Ошибка"),
            saved.saved ? BoxIcon::Information : BoxIcon::Warning, saved.detail);
}

// "Открыть конфигурацию прибора…": a file that cannot be taken is refused before anything else happens;
// otherwise the instrument is read and Form2 shows both.
void TForm1::N6Click() {
    QString fileName;
    bool firstFilter = true;
    if (!ChooseProfileFile(OpenDialog2, fileName, firstFilter)) return;
    QString reason;
    const std::optional<ConfigFile> file = olv::records::LoadConfigFile(fileName, reason);
    if (!file) {
        ShowBox(*boxes, QStringLiteral("Файл %1 не принят: %2.").arg(Native(fileName), reason),
                QStringLiteral("Ошибка"), BoxIcon::Warning);
        return;
    }

    const InstrumentOperation operation(*this);
    if (!operation.started()) return;
    InstrumentState device;
    uint8_t exceptionCode = 0;
    const ResultFlags flags = ReadInstrumentState(device, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        ReportExchangeError(flags, exceptionCode);
        return;
    }

    Form2 dialog(
        QStringLiteral("Файл: %1\nПрочитан: %2, %3, адрес %4 (%5)")
            .arg(Native(fileName), file->readAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")), file->port)
            .arg(file->address)
            .arg(file->program),
        this);
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
    connect(dialog.Button1, &QPushButton::clicked, &dialog, [&] {
        Guarded(dialog.Button1, [&] {
            whileBusy([&] {
                WriteConfigurationFile(*file, dialog.CheckBox1->isChecked(), dialog.CheckBox2->isChecked(),
                                       device, &dialog);
            });
        });
    });
    connect(dialog.Button2, &QPushButton::clicked, &dialog, [&] {
        Guarded(dialog.Button2, [&] {
            if (ShowConfigurationFile(*file, device, dialog.CheckBox1->isChecked())) dialog.accept();
        });
    });
    if (runCompareDialog)
        runCompareDialog(dialog);
    else
        dialog.exec();
}

bool TForm1::WriteConfigurationFile(const ConfigFile& file, bool withIdentity, bool withLink,
                                    InstrumentState& device, Form2* dialog) {
    const QString& fileName = file.path;
    if (!SameModel(*boxes, fileName, file.state, device)) return false;
    // What the instrument will hold: the file's words but those it keeps, and the file's link values.
    InstrumentState meant = device;
    meant.image.words = file.state.image.words;
    olv::device::TakeOwnedBits(meant.image, device.image, olv::records::InstrumentKeepsOnFileWrite(withIdentity));
    QStringList rows;
    if (withLink) {
        meant.image.words[reg::AddressBaud] = file.state.image.words[reg::AddressBaud];
        meant.image.words[reg::ByteOrder] = file.state.image.words[reg::ByteOrder];
        meant.parity = file.state.parity;
    }
    rows = olv::records::ConfirmationRows(&device, meant, olv::records::ConfigFileWriteGroups(withIdentity, withLink));
    if (withLink)
        rows << QStringLiteral("После записи прибор будет отвечать %1.")
                    .arg(olv::records::LinkAnswersAt(olv::records::LinkValuesOfState(file.state)));
    const BoxAnswer answer =
        boxes->show({QStringLiteral("Конфигурация из файла будет записана в прибор с заводским номером %1?")
                         .arg(olv::records::SerialText(device)),
                     QStringLiteral("Подтвердите действие"),
                     BoxIcon::Warning,
                     BoxButtons::YesNo,
                     {},
                     rows.join(u'\n')});
    if (answer != BoxAnswer::Yes || !JournalAllowsWrite()) return false;

    uint8_t exceptionCode = 0;
    WriteRecord record;
    const ResultFlags flags = ReadBeforeWrite(record, exceptionCode);
    if (!olv::link::Succeeded(flags, exceptionCode)) {
        ReportExchangeError(flags, exceptionCode);
        return false;
    }
    // Another instrument may have been put on the line since the dialog read this one.
    if (!SameModel(*boxes, fileName, file.state, record.before)) return false;

    ProgressBar1->setMaximum(withLink ? 10 : 7);
    ProgressBar1->setValue(0);
    Panel3->setCaption(QStringLiteral("Запись параметров"));
    Panel3->setVisible(true);
    repaint();
    const olv::device::WriteHooks hooks =
        WriteProgressHooks([this](int ms) { Pause(ms); }, ProgressBar1, this);
    const std::unique_ptr<olv::device::DeviceLinkSteps> follow =
        LinkFollower(olv::records::LinkValuesOfState(file.state));
    const olv::device::PageWriteResult result =
        olv::records::WriteConfigFileInto(master, file, record.before, withIdentity, withLink, *follow, hooks);
    Panel3->setVisible(false);
    if (result.stop != olv::device::WriteStop::Refused)
        JournalWrite(QStringLiteral("Запись конфигурации из файла %1").arg(QFileInfo(fileName).fileName()), record,
                     result);

    if (result.stop == olv::device::WriteStop::None || result.stop == olv::device::WriteStop::Mismatch) {
        // The window shows the instrument as the read-back found it: every written block read back, the
        // rest as read just before.
        const InstrumentState readBack = olv::records::StateAfterWrite(record.before, result);
        device = readBack;
        image.words = readBack.image.words;
        image.moduleModel = readBack.image.moduleModel;
        image.moduleHardware = readBack.image.moduleHardware;
        image.moduleSoftware = readBack.image.moduleSoftware;
        image.source = TargetInstrument();
        text_->modelValue = image.moduleModel;
        text_->hardwareValue = image.moduleHardware;
        text_->softwareValue = image.moduleSoftware;
        sensor_->ShowConfiguration();
        text_->ShowDeviceText();
        text_->ShowVersions();
        if (dialog) dialog->ShowRows(olv::records::CompareRows(readBack, file.state));
    }
    return ReportPageWrite(record.before, result,
                           {QStringLiteral("Конфигурация записана и проверена."),
                            QStringLiteral("Конфигурация записана, но для проверки из прибора не прочитана."),
                            QStringLiteral("Конфигурация записана, но прибор возвращает иные значения полей: %1.")});
}

bool TForm1::ShowConfigurationFile(const ConfigFile& file, const InstrumentState& device, bool withIdentity) {
    if (!SameModel(*boxes, file.path, file.state, device)) return false;
    const auto& w = file.state.image.words;
    std::vector<QWidget*> changed;
    {
        const BusyWhileFilling busy(uiBusy);
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
             {std::pair{Edit2, reg::RangeMax}, std::pair{Edit3, reg::RangeMin},
              std::pair{Edit6, reg::TrimOffset}, std::pair{Edit7, reg::TrimMultiplier}}) {
            const bool wordsDiffer = image.words[first] != w[first] || image.words[first + 1] != w[first + 1];
            image.words[first] = w[first];
            image.words[first + 1] = w[first + 1];
            const QString text = olv::device::FormatValue(olv::device::WordsToFloat(w[first], w[first + 1]));
            if (wordsDiffer && edit->text() == text) changed.push_back(edit);
            setText(edit, text);
        }
        setIndex(ComboBox5, olv::device::DampingIndexFromRegister(w[reg::DampingUnits]));
        setIndex(ComboBox4, olv::device::UnitsIndexFromRegister(w[reg::DampingUnits]));
        setIndex(ComboBox11, olv::device::SensorUnitsIndexFromRegister(w[reg::SensorUnits]));
        if (withIdentity) {
            setText(Edit5, QString::number(w[reg::Model]));
            setText(Edit4, olv::records::SerialText(file.state));
            const olv::device::DateIndexes date = olv::device::DateFromRegister(w[reg::Date]);
            setIndex(ComboBox6, date.day);
            setIndex(ComboBox7, date.month);
            setIndex(ComboBox8, date.year);
        }
        setText(Edit8, olv::device::TextFromWords(w.data() + reg::Text));
    }
    for (QWidget* control : changed)
        SetEdited(control);
    TabbedNotebook1->setCurrentIndex(1);
    return true;
}
