// Window basics: the icon, File → "Выход", and the "Справка" menu (the guide on F1, "О программе").
#include "ui/window/form1.h"

#include "ui/pages/live/live_page.h"

#include "messages/message_boxes.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

// The icon the desktop entry installs, drawn at the sizes window managers and task bars ask for.
QIcon ProgramIcon() {
    QSvgRenderer renderer(QStringLiteral(":/modbus-olv.svg"));
    QIcon icon;
    if (!renderer.isValid()) return icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// An absolute, native form of a file name as the program uses it (relative to the working folder).
QString FullPath(const QString& name) {
    return QDir::toNativeSeparators(QFileInfo(name).absoluteFilePath());
}

} // namespace

void Form1Controls::setupExitAndHelp(QMainWindow* window) {
    const QIcon icon = ProgramIcon();
    window->setWindowIcon(icon);
    QGuiApplication::setWindowIcon(icon); // the message boxes and dialogs too

    // The last item of "Файл", after whatever the menu holds.
    N1->addSeparator();
    N9 = N1->addAction(QStringLiteral("Выход"));
    N9->setObjectName(QStringLiteral("N9"));
    N9->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    N10 = MainMenu1->addMenu(QStringLiteral("&Справка")); // Alt+С
    N10->setObjectName(QStringLiteral("N10"));
    N11 = N10->addAction(QStringLiteral("Руководство"));
    N11->setObjectName(QStringLiteral("N11"));
    N11->setShortcut(QKeySequence(Qt::Key_F1));
    N12 = N10->addAction(QStringLiteral("О программе"));
    N12->setObjectName(QStringLiteral("N12"));
}

// "Выход": closes the window as its close button does.
void TForm1::N9Click() {
    close();
}

QString TForm1::GuidePath() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/doc/modbus-olv/guide.md"));
}

// "Руководство" (F1): the user's guide, installed with the program, in a window of its
// own that stays open beside the main window.
void TForm1::N11Click() {
    const QString path = GuidePath();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        boxes->show({QStringLiteral("Руководство не найдено."), QStringLiteral("Справка"),
                     olv::messages::BoxIcon::Warning, olv::messages::BoxButtons::Ok,
                     QDir::toNativeSeparators(path) + QStringLiteral(": ") + file.errorString()});
        return;
    }
    if (!HelpWindow1) {
        HelpWindow1 = new QDialog(this);
        HelpWindow1->setObjectName(QStringLiteral("HelpWindow1"));
        HelpWindow1->setWindowTitle(QStringLiteral("Руководство — Mod Bus OLV"));
        auto* layout = new QVBoxLayout(HelpWindow1);
        auto* browser = new QTextBrowser(HelpWindow1);
        browser->setObjectName(QStringLiteral("HelpText1"));
        browser->setOpenExternalLinks(true);
        layout->addWidget(browser);
        HelpWindow1->resize(760, 600);
    }
    HelpWindow1->findChild<QTextBrowser*>()->setMarkdown(QString::fromUtf8(file.readAll()));
    HelpWindow1->show();
    HelpWindow1->raise();
}

// "О программе": the program and Qt versions and the files it works with now.
void TForm1::N12Click() {
    const QString trace =
        linkSettings.traceFileName.isEmpty() ? QStringLiteral("COM.txt") : linkSettings.traceFileName;
    const QString log = live_->logFileName.isEmpty() ? QStringLiteral("izm.txt") : live_->logFileName;
    boxes->show({QStringLiteral("Mod Bus OLV 1.1.3.1"), QStringLiteral("О программе"),
                 olv::messages::BoxIcon::Information, olv::messages::BoxButtons::Ok,
                 QStringLiteral("Qt %1\nПапка данных: %2\nЖурнал обмена: %3\nЖурнал измерений: %4")
                     .arg(QString::fromLatin1(qVersion()), QDir::toNativeSeparators(QDir::currentPath()),
                          FullPath(trace), FullPath(log))});
}
