#include "ui/screenshots/calibration_grabber.h"

#include "ui/dialogs/calibration/calibration_dialog.h"
#include "ui/dialogs/calibration/calibration_host.h"

#include "ui/screenshots/page_grabber.h"

#include "calibration/number_texts.h"
#include "device/encodings.h"
#include "device/register_map.h"
#include "messages/message_boxes.h"
#include "print/document_pdf.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cmath>

using namespace olv::calibration;
namespace reg = olv::device::reg;

namespace {

class AnsweringBoxes final : public olv::messages::MessageBoxes {
  public:
    olv::messages::BoxAnswer show(const olv::messages::Box& box) override {
        return box.buttons == olv::messages::BoxButtons::Ok ? olv::messages::BoxAnswer::Ok
                                                            : olv::messages::BoxAnswer::Yes;
    }
};

// A meter on a bench: the pressure applied, its sensor's errors, its trim, a little scatter.
class BenchHost final : public CalibrationHost {
  public:
    BenchHost(const QString& directory, const QString& caption) : directory_(directory), caption_(caption) {}
    double pressure = 0;

    olv::messages::MessageBoxes& boxes() override { return boxes_; }
    int64_t now() override { return ms_ += 1000; }
    int meterAddress() const override { return 1; }
    QString portName() const override { return QStringLiteral("COM1"); }
    QString devicePath() const override { return QStringLiteral("/dev/ttyUSB0"); }
    QString caption() const override { return caption_; }
    bool lineBusy() const override { return false; }
    std::optional<float> readValue(int) override {
        const double sensor = pressure * 1.01 + 0.008 + 0.00004 * std::sin(double(++n_));
        return static_cast<float>(sensor * trim_.multiplier + trim_.offset);
    }
    std::optional<TrimRecord> writeTrim(const Trim& trim, TrimKind kind, const QString&, const QString&,
                                        bool) override {
        TrimRecord record{kind, trim_, trim, QStringLiteral("записано")};
        trim_ = trim;
        return record;
    }
    QString journalPath() const override { return QDir(directory_).filePath(QStringLiteral("journal.csv")); }
    bool appendJournal(const olv::records::JournalEntry&) override { return true; }
    QByteArray pdf(const QString& html, const QString& title) override {
        return olv::print::DocumentPdf(html, QImage(), title);
    }

  private:
    QString directory_;
    QString caption_;
    AnsweringBoxes boxes_;
    Trim trim_;
    int64_t ms_ = QDateTime(QDate(2026, 3, 2), QTime(10, 0)).toMSecsSinceEpoch();
    int n_ = 0;
};

bool TakeTable(BenchHost& host, CalibrationDialog& dialog) {
    while (dialog.run() && dialog.run()->state() != RunState::Finished) {
        const double nominal = dialog.run()->currentStep()->nominal;
        host.pressure = nominal;
        dialog.AppliedButton->click();
        for (int i = 0; i < 60 && dialog.run()->state() != RunState::Settled; ++i)
            dialog.Poll();
        dialog.ReferenceEdit->setText(ValueText(nominal));
        const size_t before = dialog.run()->results().size();
        dialog.AcceptButton->click();
        if (dialog.run()->results().size() == before) return false;
    }
    return dialog.run() != nullptr;
}

} // namespace

bool GrabCalibrationPictures(QWidget* parent, const QString& directory) {
    olv::records::InstrumentState state;
    auto& w = state.image.words;
    w[reg::Model] = 150;
    w[reg::ModelCode] = 2;
    olv::device::SplitWords(123456, w[reg::SerialHigh], w[reg::SerialLow]);
    olv::device::FloatToWords(1.6f, w[reg::RangeMax], w[reg::RangeMax + 1]);
    olv::device::FloatToWords(0.0f, w[reg::RangeMin], w[reg::RangeMin + 1]);
    olv::device::FloatToWords(0.0f, w[reg::TrimOffset], w[reg::TrimOffset + 1]);
    olv::device::FloatToWords(1.0f, w[reg::TrimMultiplier], w[reg::TrimMultiplier + 1]);
    w[reg::DampingUnits] = olv::device::DampingUnitsToRegister(2, 1); // МПа
    olv::device::TextToWords(QStringLiteral("Котельная, ввод 2"), w.data() + reg::Text);

    // The certificate is kept beside a journal of its own, then copied out.
    const QTemporaryDir journal;
    BenchHost host(journal.path(), parent ? parent->window()->windowTitle() : QString());
    CalibrationDialog dialog(host, state, parent);
    dialog.PersonEdit->setText(QStringLiteral("Иванов И. И."));
    dialog.ReferenceDescriptionEdit->setText(QStringLiteral("Калибратор давления, класс 0,02"));
    dialog.ReferenceSerialEdit->setText(QStringLiteral("A-17"));
    dialog.ReferenceCertificateEdit->setText(QStringLiteral("№ 5/24"));
    dialog.ReferenceUncertaintyEdit->setText(QStringLiteral("0.0003"));
    dialog.AmbientEdit->setText(QStringLiteral("21.5"));
    dialog.StartClick();
    if (!TakeTable(host, dialog)) return false;
    dialog.resize(980, 620);
    dialog.show();
    QCoreApplication::processEvents();
    const bool table = SavePicture(dialog, QDir(directory).filePath(QStringLiteral("calibration.png")));

    dialog.NextClick();
    dialog.TrimKindBox->setCurrentIndex(2);
    dialog.WriteTrimClick();
    if (!TakeTable(host, dialog)) return false;
    dialog.NextClick();
    dialog.SaveClick();
    const QString certificate = QDir(directory).filePath(QStringLiteral("certificate.pdf"));
    QFile::remove(certificate);
    const bool kept =
        !dialog.certificatePath().isEmpty() && QFile::copy(dialog.certificatePath(), certificate);
    dialog.hide();
    return table && kept;
}
