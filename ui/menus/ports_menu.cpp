// "Назначение портов…" of the File menu, the window's side: the dialog's answer into [PORTS] of
// dev.dat, and the port opened again when it now leads elsewhere.
#include "ui/menus/ports_menu.h"

#include "ui/dialogs/ports_dialog.h"
#include "ui/menus/menu_host.h"
#include "ui/window/form1_controls.h"
#include "ui/window/page_host.h"

#include "device/register_image.h"
#include "link/link_settings.h"
#include "link/port_link.h"
#include "messages/message_boxes.h"
#include "settings/ini_file.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QMainWindow>

using olv::settings::PortPaths;
using olv::settings::SerialDevice;

namespace {

QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

PortsMenu::PortsMenu(PageHost& host, MenuHost& window, Form1Controls& ui) : host(host), window(window), ui(ui) {}

void PortsMenu::Wire() {
    host.On(ui.N4, &QAction::triggered, this, &PortsMenu::N4Click);
}

std::vector<SerialDevice> PortsMenu::SerialDevicesPresent() const {
    return enumerateSerialDevices ? enumerateSerialDevices() : ListSerialDevices();
}

PortPaths PortsMenu::PortPathsNow() {
    PortPaths paths;
    for (int n = 1; n <= 8; ++n)
        paths[size_t(n - 1)] = host.Port().pathOf(n);
    return paths;
}

void PortsMenu::ShowPortPaths() {
    for (int i = 0; i < ui.ComboBox1->count() && i < 8; ++i)
        ui.ComboBox1->setItemData(i, PathText(host.Port().pathOf(i + 1)), Qt::ToolTipRole);
}

// "Назначение портов…": the chosen devices go into [PORTS] of dev.dat; when the port in use now leads
// elsewhere, it is opened again.
void PortsMenu::N4Click() {
    const PortPaths before = PortPathsNow();
    const olv::settings::ListenChoices listenBefore = olv::settings::CurrentListenChoices();
    PortsDialog dialog(SerialDevicesPresent(), before, &window.Window(), UsbLookup{"/sys", host.Port().port().usbState()},
                       listenBefore);
    const bool accepted = runPortsDialog ? runPortsDialog(dialog) : dialog.exec() == QDialog::Accepted;
    if (!accepted) return;
    const PortPaths chosen = dialog.paths();
    for (int n = 1; n <= 8; ++n) {
        const std::string problem = olv::settings::PortPathProblem(chosen[size_t(n - 1)]);
        if (problem.empty()) continue;
        // Stored otherwise than typed, the path would open another device, or none.
        host.Boxes().show({QStringLiteral("Путь к устройству для COM%1 нельзя записать в dev.dat: %2. Назначение "
                                    "портов не изменено.")
                         .arg(n)
                         .arg(QString::fromStdString(problem)),
                     QStringLiteral("Назначение портов"), olv::messages::BoxIcon::Warning,
                     olv::messages::BoxButtons::Ok, PathText(chosen[size_t(n - 1)])});
        return;
    }
    // Only the ports changed here are written: a port another window assigned meanwhile stays.
    PortPaths changed = chosen;
    for (size_t i = 0; i < changed.size(); ++i)
        if (changed[i] == before[i]) changed[i].clear();
    // Likewise only the choices changed here.
    const olv::settings::ListenChoices listen = dialog.listenChoices();
    olv::settings::ListenChanges listenChanged;
    for (size_t i = 0; i < listen.size(); ++i)
        if (listen[i] != listenBefore[i]) listenChanged[i] = listen[i];
    try {
        olv::settings::SavePortPaths(changed, listenChanged);
    } catch (const olv::settings::IniWriteError& error) {
        window.ReportNextIniWriteError(); // the user asked for this write: a refusal is always reported
        window.ReportIniWriteError(error);
    }
    ShowPortPaths();
    const int port =
        host.Link().portNumber >= 1 && host.Link().portNumber <= 8 ? host.Link().portNumber : 1;
    if (host.Port().pathOf(port) != before[size_t(port - 1)]) {
        // Another line now: the words read so far may belong to another instrument at that address.
        host.Image().source.reset();
        host.OpenPort();
    }
}
