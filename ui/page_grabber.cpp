#include "ui/page_grabber.h"

#include "ui/form1.h"
#include "ui/ports_dialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

#include <memory>

void GrabPagesThenClose(TForm1& form, const QString& directory, int delayMs, int livePollingMs) {
    QTimer::singleShot(delayMs, &form, [&form, directory, livePollingMs] {
        // The live page first, polling for a while.
        form.TabbedNotebook1->setCurrentIndex(0);
        QTimer::singleShot(livePollingMs, &form, [&form, directory] {
            QDir().mkpath(directory);
            for (int page = 0; page < form.TabbedNotebook1->count(); ++page) {
                form.TabbedNotebook1->setCurrentIndex(page);
                QCoreApplication::processEvents();
                form.grab().save(QDir(directory).filePath(QStringLiteral("page%1.png").arg(page)));
            }
            GrabPortsDialog(form, QDir(directory).filePath(QStringLiteral("ports.png")));
            // Last the live page once more, when the instrument has stopped answering (scripts/screenshots
            // tells the virtual instrument so once page4.png is there): the reading shown as old. It is
            // saved after at most ten seconds in any case.
            form.TabbedNotebook1->setCurrentIndex(0);
            auto* wait = new QTimer(&form);
            auto tries = std::make_shared<int>(0);
            QObject::connect(wait, &QTimer::timeout, &form, [&form, directory, wait, tries] {
                if (form.Label51->isHidden() && ++*tries < 50) return;
                wait->stop();
                QCoreApplication::processEvents();
                form.grab().save(QDir(directory).filePath(QStringLiteral("page0-stale.png")));
                form.close();
            });
            wait->start(200);
        });
    });
}
