// "Назначение портов…" of the File menu: which device each COM number opens.
#include "ui/dialogs/ports_dialog.h"

#include "messages/message_boxes.h"
#include "settings/ini_file.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTableWidget>
#include <QVBoxLayout>

using olv::settings::PortPaths;
using olv::settings::SerialDevice;

namespace {

QString PathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// The two kinds of gateway a port may lead to instead of a serial device.
QString GatewayHint() {
    return QStringLiteral(
        "Шлюз Ethernet: tcp://УЗЕЛ:ПОРТ — кадры RTU как есть (ser2net, режим «TCP server»); "
        "mbtcp://УЗЕЛ[:ПОРТ] — Modbus TCP, порт 502, если не указан; адрес IPv6 в [скобках].");
}

QString ListenHint() {
    return QStringLiteral("Открыть порт, сразу перейти в монитор линии и ничего не передавать, пока не "
                          "будет запущен опрос или операция: для линии, где уже есть ведущий.");
}

QTableWidgetItem* ReadOnlyItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

std::vector<SerialDevice> ListSerialDevices() {
    std::vector<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice device;
        device.path = QFile::encodeName(info.systemLocation()).toStdString();
        device.description = info.description().toStdString();
        device.manufacturer = info.manufacturer().toStdString();
        device.serialNumber = info.serialNumber().toStdString();
        device.stableName = olv::settings::StableNameOf(device.path);
        devices.push_back(device);
    }
    return devices;
}

PortsDialog::PortsDialog(const std::vector<SerialDevice>& devices, const PortPaths& current, QWidget* parent,
                         const UsbLookup& usb, const olv::settings::ListenChoices& listen)
    : QDialog(parent), current_(current) {
    setObjectName(QStringLiteral("PortsDialog"));
    setWindowTitle(QStringLiteral("Назначение портов"));
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(QStringLiteral("Устройство, которое открывает каждый порт:"), this));
    PortTable = new QTableWidget(8, 3, this);
    PortTable->setObjectName(QStringLiteral("PortTable"));
    PortTable->setHorizontalHeaderLabels(
        {QStringLiteral("Порт"), QStringLiteral("Устройство"), QStringLiteral("При запуске")});
    PortTable->verticalHeader()->hide();
    PortTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    for (int row = 0; row < 8; ++row) {
        PortTable->setItem(row, 0, ReadOnlyItem(QStringLiteral("COM%1").arg(row + 1)));
        auto* box = new QComboBox(PortTable);
        box->setObjectName(QStringLiteral("PortPath%1").arg(row + 1));
        box->setEditable(true); // a path, or a gateway's address, may also be typed
        box->setToolTip(GatewayHint());
        box->lineEdit()->setPlaceholderText(QStringLiteral("/dev/ttyUSB0, tcp://УЗЕЛ:ПОРТ, mbtcp://УЗЕЛ"));
        box->addItem(PathText(current[size_t(row)]));
        for (const SerialDevice& device : devices) {
            const QString name = PathText(olv::settings::AssignedName(device));
            if (box->findText(name) >= 0) continue;
            box->addItem(name);
            box->setItemData(box->count() - 1, QString::fromStdString(device.description), Qt::ToolTipRole);
        }
        box->setCurrentIndex(0);
        PortTable->setCellWidget(row, 1, box);
        // For a line that already has a master: open the port and listen, send nothing until asked.
        auto* quiet = ReadOnlyItem(QStringLiteral("только слушать"));
        quiet->setFlags(quiet->flags() | Qt::ItemIsUserCheckable);
        quiet->setCheckState(listen[size_t(row)] ? Qt::Checked : Qt::Unchecked);
        quiet->setToolTip(ListenHint());
        PortTable->setItem(row, 2, quiet);
    }
    PortTable->resizeColumnToContents(0);
    PortTable->resizeColumnToContents(2);
    PortTable->resizeRowsToContents();
    // All eight ports in view without scrolling.
    PortTable->setMinimumHeight(PortTable->horizontalHeader()->sizeHint().height() +
                                PortTable->verticalHeader()->length() + 2 * PortTable->frameWidth());
    PortTable->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(PortTable);
    auto* hint = new QLabel(GatewayHint(), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    layout->addWidget(new QLabel(QStringLiteral("Последовательные устройства на этом компьютере:"), this));
    DeviceTable = new QTableWidget(int(devices.size()), 7, this);
    DeviceTable->setObjectName(QStringLiteral("DeviceTable"));
    DeviceTable->setHorizontalHeaderLabels({QStringLiteral("Устройство"), QStringLiteral("Описание"),
                                            QStringLiteral("Изготовитель"), QStringLiteral("Серийный номер"),
                                            QStringLiteral("Постоянное имя"), QStringLiteral("Микросхема USB"),
                                            QStringLiteral("Задержка")});
    DeviceTable->verticalHeader()->hide();
    DeviceTable->horizontalHeader()->setStretchLastSection(true);
    DeviceTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < int(devices.size()); ++row) {
        const SerialDevice& device = devices[size_t(row)];
        DeviceTable->setItem(row, 0, ReadOnlyItem(PathText(device.path)));
        DeviceTable->setItem(row, 1, ReadOnlyItem(QString::fromStdString(device.description)));
        DeviceTable->setItem(row, 2, ReadOnlyItem(QString::fromStdString(device.manufacturer)));
        DeviceTable->setItem(row, 3, ReadOnlyItem(QString::fromStdString(device.serialNumber)));
        DeviceTable->setItem(row, 4, ReadOnlyItem(PathText(device.stableName)));
        const olv::link::AdapterTexts adapter =
            olv::link::DescribeAdapter(usb.sysfsRoot, device.path, usb.held);
        DeviceTable->setItem(row, 5, ReadOnlyItem(QString::fromStdString(adapter.chip)));
        DeviceTable->setItem(row, 6, ReadOnlyItem(QString::fromStdString(adapter.latency)));
    }
    DeviceTable->resizeColumnsToContents();
    layout->addWidget(DeviceTable, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(760, 600);
}

QComboBox* PortsDialog::pathBox(int portNumber) const {
    return qobject_cast<QComboBox*>(PortTable->cellWidget(portNumber - 1, 1));
}

QTableWidgetItem* PortsDialog::listenItem(int portNumber) const {
    return PortTable->item(portNumber - 1, 2);
}

olv::settings::ListenChoices PortsDialog::listenChoices() const {
    olv::settings::ListenChoices choices{};
    for (int n = 1; n <= 8; ++n)
        choices[size_t(n - 1)] = listenItem(n)->checkState() == Qt::Checked;
    return choices;
}

PortPaths PortsDialog::paths() const {
    PortPaths chosen;
    for (int n = 1; n <= 8; ++n) {
        const std::string& shown = current_[size_t(n - 1)];
        const QString text = pathBox(n)->currentText().trimmed();
        chosen[size_t(n - 1)] = text == PathText(shown) ? shown : QFile::encodeName(text).toStdString();
    }
    return chosen;
}
