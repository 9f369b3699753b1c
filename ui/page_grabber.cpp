#include "ui/page_grabber.h"

#include "ui/form1.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

namespace {

// How long the live page polls before it is grabbed: OLV_GRAB_LIVE_SECONDS (a minute draws a trend
// worth looking at), else 2.5 s, long enough for a couple of polls to show a reading.
int LivePollingMs() {
    bool ok = false;
    const double seconds = qEnvironmentVariable("OLV_GRAB_LIVE_SECONDS").toDouble(&ok);
    return ok && seconds >= 0 && seconds < 3600 ? static_cast<int>(seconds * 1000) : 2500;
}

} // namespace

void GrabPagesThenClose(TForm1& form, const QString& directory, int delayMs) {
    QTimer::singleShot(delayMs, &form, [&form, directory] {
        // The live page first, polling for a while.
        form.TabbedNotebook1->setCurrentIndex(0);
        QTimer::singleShot(LivePollingMs(), &form, [&form, directory] {
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
