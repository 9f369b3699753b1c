#include "ui/page_grabber.h"

#include "ui/form1.h"
#include "ui/ports_dialog.h"

#include "link/plain_file.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

bool SavePicture(QWidget& widget, const QString& fileName) {
    QByteArray png;
    QBuffer buffer(&png);
    return buffer.open(QIODevice::WriteOnly) && widget.grab().save(&buffer, "PNG") &&
           olv::link::WriteWholeFile(fileName, png.constData(), size_t(png.size())) ==
               olv::link::WholeFileWrite::Written;
}

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
            form.close();
        });
    });
}
