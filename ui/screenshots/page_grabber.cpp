#include "ui/screenshots/page_grabber.h"

#include "ui/dialogs/form2.h"
#include "ui/dialogs/ports_dialog.h"
#include "ui/menus/ports_menu.h"
#include "ui/menus/record_menu.h"
#include "ui/screenshots/calibration_grabber.h"
#include "ui/pages/live/live_page.h"
#include "ui/window/form1.h"

#include "device/encodings.h"
#include "device/register_map.h"
#include "records/commissioning_record.h"

#include "files/plain_file.h"
#include "print/document_pdf.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>

#include <memory>

bool SaveImage(const QImage& image, const QString& fileName) {
    QByteArray png;
    QBuffer buffer(&png);
    return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG") &&
           olv::files::WriteWholeFile(fileName, png.constData(), size_t(png.size())) ==
               olv::files::WholeFileWrite::Written;
}

bool SavePicture(QWidget& widget, const QString& fileName) {
    return SaveImage(widget.grab().toImage(), fileName);
}

bool GrabPortsDialog(TForm1& form, const QString& fileName) {
    PortsDialog dialog(form.ports().SerialDevicesPresent(), form.ports().PortPathsNow(), &form,
                       UsbLookup{"/sys", form.portLink.port().usbState()});
    dialog.show();
    QCoreApplication::processEvents();
    const bool saved = SavePicture(dialog, fileName);
    dialog.close();
    return saved;
}

bool GrabCompareDialog(QWidget* parent, const olv::records::InstrumentState& device,
                       const olv::records::InstrumentState& file, const QString& fileName,
                       const QString& imagePath) {
    Form2 dialog(fileName, parent);
    dialog.ShowRows(olv::records::CompareRows(device, file));
    dialog.show();
    QCoreApplication::processEvents();
    const bool saved = SavePicture(dialog, imagePath);
    dialog.close();
    return saved;
}

bool GrabRecordPage(TForm1& form, const QString& imagePath) {
    olv::records::RecordData data;
    if (!form.record().ReadRecord(data)) return false;
    QObject owner;
    const olv::device::InstrumentIdentity recorded =
        olv::device::WithImageIdentity(form.ShownIdentity(), data.state.image);
    QTextDocument* document = olv::print::RecordDocument(&owner, data, form.live().TrendPicture(&recorded));
    // An A4 page at 96 dpi with margins of 15 mm.
    const QSize page(794, 1123);
    const int margin = 57;
    document->setPageSize(QSizeF(page.width() - 2 * margin, page.height() - 2 * margin));
    QImage picture(page, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.translate(margin, margin);
    document->drawContents(&painter, QRectF(QPointF(0, 0), document->pageSize()));
    painter.end();
    return SaveImage(picture, imagePath);
}

namespace {

// The compare dialog as the README's replacement shows it: a file saved from a failed meter (another
// serial number, date, range, damping, trim and text) opened on the instrument on the line; and the
// first page of that instrument's record.
void GrabConfigurationPictures(TForm1& form, const QString& directory) {
    olv::records::InstrumentState device;
    uint8_t exceptionCode = 0;
    if (!olv::link::Succeeded(form.ReadInstrumentState(device, exceptionCode), exceptionCode)) return;
    namespace reg = olv::device::reg;
    olv::records::InstrumentState failed = device;
    auto& w = failed.image.words;
    olv::device::SplitWords(118204, w[reg::SerialHigh], w[reg::SerialLow]);
    w[reg::Date] = olv::device::DateToRegister({11, 5, 6}); // 12.06.2006
    olv::device::FloatToWords(2.5f, w[reg::RangeMax], w[reg::RangeMax + 1]);
    w[reg::DampingUnits] = olv::device::DampingUnitsToRegister(4, 1);
    olv::device::FloatToWords(0.0012f, w[reg::TrimOffset], w[reg::TrimOffset + 1]);
    olv::device::TextToWords(QStringLiteral("Котельная, ввод 2"), w.data() + reg::Text);
    GrabCompareDialog(&form, device, failed, QStringLiteral("Файл: /home/naladchik/объект/ввод-2.cfg"),
                      QDir(directory).filePath(QStringLiteral("compare.png")));
    GrabCalibrationPictures(&form, directory);
    GrabRecordPage(form, QDir(directory).filePath(QStringLiteral("record.png")));
}

} // namespace

void GrabPagesThenClose(TForm1& form, const QString& directory, int delayMs, int livePollingMs) {
    QTimer::singleShot(delayMs, &form, [&form, directory, livePollingMs] {
        // The live page first, polling for a while.
        form.TabbedNotebook1->setCurrentIndex(0);
        QTimer::singleShot(livePollingMs, &form, [&form, directory] {
            QDir().mkpath(directory);
            for (int page = 0; page < form.TabbedNotebook1->count(); ++page) {
                form.TabbedNotebook1->setCurrentIndex(page);
                QCoreApplication::processEvents();
                SavePicture(form, QDir(directory).filePath(QStringLiteral("page%1.png").arg(page)));
            }
            GrabPortsDialog(form, QDir(directory).filePath(QStringLiteral("ports.png")));
            GrabConfigurationPictures(form, directory);
            // Last the live page once more, when the instrument has stopped answering (scripts/screenshots
            // tells the virtual instrument so once record.png is there): the reading shown as old. It is
            // saved after at most ten seconds in any case.
            form.TabbedNotebook1->setCurrentIndex(0);
            auto* wait = new QTimer(&form);
            auto tries = std::make_shared<int>(0);
            QObject::connect(wait, &QTimer::timeout, &form, [&form, directory, wait, tries] {
                if (form.Label51->isHidden() && ++*tries < 50) return;
                wait->stop();
                QCoreApplication::processEvents();
                SavePicture(form, QDir(directory).filePath(QStringLiteral("page0-stale.png")));
                form.close();
            });
            wait->start(200);
        });
    });
}
