#include "ui/page_grabber.h"

#include "ui/form1.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

void GrabPagesThenClose(TForm1& form, const QString& directory, int delayMs) {
    QTimer::singleShot(delayMs, &form, [&form, directory] {
        // The live page first, long enough for a couple of polls to show a reading.
        form.TabbedNotebook1->setCurrentIndex(0);
        QTimer::singleShot(2500, &form, [&form, directory] {
            QDir().mkpath(directory);
            for (int page = 0; page < form.TabbedNotebook1->count(); ++page) {
                form.TabbedNotebook1->setCurrentIndex(page);
                QCoreApplication::processEvents();
                form.grab().save(QDir(directory).filePath(QStringLiteral("page%1.png").arg(page)));
            }
            form.close();
        });
    });
}
