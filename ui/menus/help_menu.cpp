// Window basics: the icon, File → "Выход", and the "Справка" menu (the guide on F1, "О программе").
#include "ui/menus/help_menu.h"

#include "ui/menus/menu_host.h"
#include "ui/window/form1_controls.h"
#include "ui/window/page_host.h"

#include "link/link_settings.h"
#include "messages/message_boxes.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QMainWindow>
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

HelpMenu::HelpMenu(PageHost& host, MenuHost& window, Form1Controls& ui) : host(host), window(window), ui(ui) {}

void HelpMenu::Wire() {
    for (auto [action, handler] : {std::pair{ui.N9, &HelpMenu::N9Click}, std::pair{ui.N11, &HelpMenu::N11Click},
                                   std::pair{ui.N12, &HelpMenu::N12Click}})
        host.On(action, &QAction::triggered, this, handler);
}

// "Выход": closes the window as its close button does.
void HelpMenu::N9Click() {
    window.Window().close();
}

QString HelpMenu::GuidePath() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/doc/modbus-olv/guide.md"));
}

// "Руководство" (F1): the user's guide, installed with the program, in a window of its
// own that stays open beside the main window.
void HelpMenu::N11Click() {
    const QString path = GuidePath();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        host.Boxes().show({QStringLiteral("Руководство не найдено."), QStringLiteral("Справка"),
                     olv::messages::BoxIcon::Warning, olv::messages::BoxButtons::Ok,
                     QDir::toNativeSeparators(path) + QStringLiteral(": ") + file.errorString()});
        return;
    }
    if (!ui.HelpWindow1) {
        ui.HelpWindow1 = new QDialog(&window.Window());
        ui.HelpWindow1->setObjectName(QStringLiteral("HelpWindow1"));
        ui.HelpWindow1->setWindowTitle(QStringLiteral("Руководство — Mod Bus OLV"));
        auto* layout = new QVBoxLayout(ui.HelpWindow1);
        auto* browser = new QTextBrowser(ui.HelpWindow1);
        browser->setObjectName(QStringLiteral("HelpText1"));
        browser->setOpenExternalLinks(true);
        layout->addWidget(browser);
        ui.HelpWindow1->resize(760, 600);
    }
    ui.HelpWindow1->findChild<QTextBrowser*>()->setMarkdown(QString::fromUtf8(file.readAll()));
    ui.HelpWindow1->show();
    ui.HelpWindow1->raise();
}

// "О программе": the program and Qt versions and the files it works with now.
void HelpMenu::N12Click() {
    const QString trace =
        host.Link().traceFileName.isEmpty() ? QStringLiteral("COM.txt") : host.Link().traceFileName;
    const QString log = window.LogFileName().isEmpty() ? QStringLiteral("izm.txt") : window.LogFileName();
    host.Boxes().show({QStringLiteral("Mod Bus OLV 1.1.3.1"), QStringLiteral("О программе"),
                 olv::messages::BoxIcon::Information, olv::messages::BoxButtons::Ok,
                 QStringLiteral("Qt %1\nПапка данных: %2\nЖурнал обмена: %3\nЖурнал измерений: %4")
                     .arg(QString::fromLatin1(qVersion()), QDir::toNativeSeparators(QDir::currentPath()),
                          FullPath(trace), FullPath(log))});
}
