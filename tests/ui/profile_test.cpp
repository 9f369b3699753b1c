// The File menu: settings profiles through the window (recent.prf at start and exit, the two profile
// items, their dialogs) and the port assignment dialog.
#include "tests/support/fake_sysfs.h"
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "settings/ini_file.h"
#include "settings/port_assignment.h"
#include "settings/station_settings.h"
#include "ui/dialogs/ports_dialog.h"
#include "ui/menus/ports_menu.h"
#include "ui/menus/profile_menu.h"
#include "ui/screenshots/page_grabber.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>

#include <sys/stat.h>

using olv::test::FormFixture;
using olv::test::StopTimers;
using olv::test::WriteCrlfFile;

namespace {

const QColor Aqua(0, 255, 255);
const QColor White(255, 255, 255);

QString Value(const QString& path, const QString& section, const QString& key) {
    return olv::settings::IniFile(path).readString(section, key, QStringLiteral("<missing>"));
}

QStringList Checked(const TForm1& form) {
    QStringList names;
    for (QCheckBox* box : {form.CheckBox1, form.CheckBox2, form.CheckBox3, form.CheckBox4, form.CheckBox5,
                           form.CheckBox6, form.CheckBox8, form.CheckBox9, form.CheckBox10})
        if (box->isChecked()) names << box->objectName();
    return names;
}

// A station file with COM2 on a gateway, and the window mapping COM numbers through it.
FormFixture::Options PortsOptions() {
    FormFixture::Options options;
    options.portsFromStationFile = true;
    options.prepare = [](const QDir& dir) {
        WriteCrlfFile(dir.filePath("dev.dat"),
                      {"[COM_SETTINGS]", "Number=1", "Settings=9600,O,8,2", "; kept as it is", "[PORTS]",
                       "COM2=tcp://127.0.0.1:4001", "[SETTINGS]", "TimeOut=300"});
    };
    return options;
}

// What the enumeration would find on a machine with a USB adapter and one built-in port.
std::vector<olv::settings::SerialDevice> FakeDevices() {
    return {{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A1B2C3",
             "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0"},
            {"/dev/ttyS0", "", "", "", ""}};
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The file dialog answers with this name and filter entry instead of showing itself.
void Answer(TForm1& form, const QString& fileName, bool firstFilter) {
    form.chooseProfileFile = [=](QFileDialog*, QString& name, bool& first) {
        name = fileName;
        first = firstFilter;
        return true;
    };
}

// Fills the page fields from the register image, so that collecting them converts.
void ShowFields(TForm1& form) {
    form.sensor().ShowConfiguration();
    form.text().ShowDeviceText();
    form.text().ShowVersions();
    form.uiBusy = 0;
}

} // namespace

class ProfileTest : public QObject {
    Q_OBJECT

  private slots:
    void absentRecentProfileGivesTheCreationSet() {
        FormFixture f;
        StopTimers(*f);
        QCOMPARE(f->TabbedNotebook1->currentIndex(), 1);
        QCOMPARE(f->RichEdit1->toPlainText(), QStringLiteral("Прибор ОЛВ 20 ModBus RTU.\n19200\n\n"));
        QCOMPARE(Checked(*f), (QStringList{"CheckBox4", "CheckBox5", "CheckBox6", "CheckBox10"}));
        QCOMPARE(f->ComboBox12->currentIndex(), 1);
        QCOMPARE(f->ComboBox13->currentIndex(), 5);
        QVERIFY(f->CheckBox11->isChecked());
        QCOMPARE(f->live().logFileName, QStringLiteral("izm.txt"));
        QCOMPARE(f->image.words[48], uint16_t(8224));
        QCOMPARE(f->image.words[57], uint16_t(8224));
        QCOMPARE(f->text().modelValue, 256);
        QCOMPARE(f->image.moduleSoftware, uint16_t(107));
        QCOMPARE(Value(f.dir().filePath("recent.prf"), "TAB", "num"), QStringLiteral("1"));
        QVERIFY(f.boxes.boxes.empty());
    }

    void startUpShowsTheLoadedProfile() {
        FormFixture::Options options;
        options.prepare = [](const QDir& dir) {
            WriteCrlfFile(dir.filePath("recent.prf"),
                          {"[TAB]",        "num=3",         "[IZM]",       "izm_name=log.txt", "write_file=0",
                           "[Definition]", "txt0=Line one", "txt1=",       "txt2=Line three",  "[Seach]",
                           "1200=1",       "9600=0",        "19200=0",     "38400=0",          "beg=7",
                           "end=300",      "parity_non=1",  "parity_ev=0", "[Format]",         "fl=2",
                           "[TXT]",        "ch0=16706",     "ch9=-1",      "[MODEL]",          "mdl=70000",
                           "verh=3",       "vers=108"});
        };
        FormFixture f(options);
        StopTimers(*f);
        QCOMPARE(f->TabbedNotebook1->currentIndex(), 3);
        QCOMPARE(f->live().logFileName, QStringLiteral("log.txt"));
        QVERIFY(!f->CheckBox11->isChecked());
        QCOMPARE(f->RichEdit1->toPlainText(), QStringLiteral("Line one\n\nLine three\n"));
        QCOMPARE(Checked(*f), (QStringList{"CheckBox1", "CheckBox8"}));
        QCOMPARE(f->ComboBox12->currentIndex(), 7);
        QCOMPARE(f->search().searchSettings.lastAddress, 300); // held, but the list has no such entry
        QCOMPARE(f->linkSettings.byteOrder, 2);
        QCOMPARE(f->pendingLink.pendingByteOrder, 2);
        QCOMPARE(f->ComboBox17->currentIndex(), 2);
        QCOMPARE(f->image.words[48], uint16_t(16706));
        QCOMPARE(f->image.words[57], uint16_t(65535));
        QCOMPARE(f->text().modelValue, 70000);
        QCOMPARE(f->image.moduleModel, uint16_t(70000 & 0xFFFF));
        QCOMPARE(f->text().hardwareValue, 3);
        QCOMPARE(f->image.moduleSoftware, uint16_t(108));
    }

    void refusedWriteAtStartIsShownAndTheWindowComesUp() {
        FormFixture::Options options;
        options.prepare = [](const QDir& dir) { dir.mkdir("recent.prf"); };
        FormFixture f(options);
        StopTimers(*f);
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QVERIFY(f.boxes.boxes[0].text.contains(QStringLiteral("recent.prf")));
        QCOMPARE(f.port->opens.size(), size_t(1));
    }

    void everyRefusedMenuSaveAndLoadIsReported() {
        FormFixture::Options options;
        options.prepare = [](const QDir& dir) { dir.mkdir("recent.prf"); }; // start-up's box comes first
        FormFixture f(options);
        StopTimers(*f);
        ShowFields(*f);
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QVERIFY(f.dir().mkdir("folder.prf"));
        QCOMPARE(::mkfifo(QFile::encodeName(f.dir().filePath("fifo.prf")).constData(), 0644), 0);
        const QString job = f.dir().filePath("job.prf");
        WriteCrlfFile(job, {"[IZM]", "izm_name=job.txt"});
        const struct {
            const char* file;
            bool save;
        } steps[] = {{"folder.prf", true},
                     {"folder.prf", true},
                     {"fifo.prf", false},
                     {"job.prf", false},
                     {"fifo.prf", true}};
        size_t expected = 1;
        for (const auto& step : steps) {
            Answer(*f, f.dir().filePath(step.file), true);
            if (step.save)
                f->profiles().N3Click();
            else
                f->profiles().N2Click();
            if (QByteArray(step.file) != "job.prf") ++expected;
            QCOMPARE(f.boxes.boxes.size(), expected);
            QVERIFY(f.boxes.boxes.back().text.contains(QString::fromLatin1(step.file)) ||
                    QByteArray(step.file) == "job.prf");
        }
        QCOMPARE(f->live().logFileName, QStringLiteral("job.txt")); // the readable one was loaded
        QVERIFY(QFileInfo(f.dir().filePath("fifo.prf")).isFile() == false);
    }

    void menuLoadSwitchesThePageAsAClickAndShowsTheSwitches() {
        FormFixture f;
        StopTimers(*f);
        f->CheckBox11->setChecked(false);
        f->TabbedNotebook1->setCurrentIndex(2);
        f->ComboBox9->setCurrentIndex(50);
        TForm1::SetEdited(f->ComboBox9);
        const QString job = f.dir().filePath("job.prf");
        WriteCrlfFile(job, {"[TAB]", "num=3", "[Definition]", "txt0=Job", "[Seach]", "1200=1", "9600=0",
                            "19200=0", "38400=0", "parity_ev=0", "parity_odd=1", "[IZM]", "write_file=1",
                            "[TXT]", "ch0=16706"});

        f->chooseProfileFile = [](QFileDialog*, QString&, bool&) { return false; }; // cancelled
        f->N2->trigger();
        QCOMPARE(f->TabbedNotebook1->currentIndex(), 2);

        Answer(*f, job, true);
        f->N2->trigger();
        QCOMPARE(f->TabbedNotebook1->currentIndex(), 3);
        // Leaving page 2 put its boxes back to the link in effect.
        QCOMPARE(f->ComboBox9->currentIndex(), f->linkSettings.address);
        QCOMPARE(TForm1::ColorOf(f->ComboBox9), White);
        QCOMPARE(f->RichEdit1->toPlainText(), QStringLiteral("Job\n\n\n"));
        QVERIFY(f->Edit8->text().startsWith(QStringLiteral("AB")));
        // The search page and the log switch show the profile's switches, and the next collection
        // keeps them.
        QCOMPARE(f->search().searchSettings.baudEnabled[0], 1);
        QCOMPARE(Checked(*f), (QStringList{"CheckBox1", "CheckBox9"}));
        QVERIFY(f->CheckBox11->isChecked());
        f->search().CollectSearchSettings();
        f->CollectLinkSettings(0);
        QCOMPARE(f->search().searchSettings.baudEnabled[0], 1);
        QCOMPARE(f->search().searchSettings.baudEnabled[3], 0);
        QCOMPARE(f->live().logEnabled, 1);

        // A name that does not exist is created with the default set.
        Answer(*f, f.dir().filePath("new.prf"), true);
        f->N2->trigger();
        QCOMPARE(f->TabbedNotebook1->currentIndex(), 1);
        QCOMPARE(Value(f.dir().filePath("new.prf"), "Seach", "9600"), QStringLiteral("1"));
        QVERIFY(f.boxes.boxes.empty());
    }

    void menuSaveNames_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("firstFilter");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("stored");
        QTest::newRow("new name, profile filter") << "job" << true << false << "job.prf";
        QTest::newRow("new name, all files") << "job" << false << false << "job";
        QTest::newRow("new name with .prf") << "job.prf" << true << false << "job.prf";
        QTest::newRow("existing name without .prf") << "job" << true << true << "job";
        QTest::newRow("existing profile") << "job.prf" << true << true << "job.prf";
    }

    void menuSaveNames() {
        QFETCH(QString, typed);
        QFETCH(bool, firstFilter);
        QFETCH(bool, exists);
        QFETCH(QString, stored);
        FormFixture f;
        StopTimers(*f);
        const QDir dir = f.dir();
        if (exists)
            WriteCrlfFile(dir.filePath(typed),
                          {"[Other]", "keep=1", "[TAB]", "num=4", "extra=5", "[IZM]", "izm_name=mine.txt"});
        ShowFields(*f);
        f->TabbedNotebook1->setCurrentIndex(4);
        f->RichEdit1->setPlainText("Saved\nlines");
        f->Edit9->setText("300");
        for (QWidget* control : {static_cast<QWidget*>(f->Edit1), static_cast<QWidget*>(f->Edit2),
                                 static_cast<QWidget*>(f->ComboBox16)})
            TForm1::SetEdited(control);
        const QStringList before = dir.entryList(QDir::Files);

        Answer(*f, dir.filePath(typed), firstFilter);
        f->N3->trigger();

        QCOMPARE(f.boxes.boxes.size(), size_t(0));
        const QString path = dir.filePath(stored);
        QCOMPARE(Value(path, "TAB", "num"), QStringLiteral("4"));
        QCOMPARE(Value(path, "Definition", "txt0"), QStringLiteral("Saved"));
        QCOMPARE(Value(path, "Definition", "txt2"), QString());
        QCOMPARE(Value(path, "MODEL", "mdl"), QStringLiteral("300")); // the versions were collected first
        QCOMPARE(dir.entryList(QDir::Files).size(), before.size() + (exists ? 0 : 1));
        QVERIFY(!QFile::exists(dir.filePath("job.prf.prf")));
        if (exists) {
            QCOMPARE(Value(path, "Other", "keep"), QStringLiteral("1"));
            QCOMPARE(Value(path, "TAB", "extra"), QStringLiteral("5"));
            QCOMPARE(Value(path, "IZM", "izm_name"), QStringLiteral("mine.txt"));
        } else {
            QCOMPARE(Value(path, "IZM", "izm_name"), QStringLiteral("<missing>"));
        }
        QCOMPARE(TForm1::ColorOf(f->Edit1), Aqua);
        QCOMPARE(TForm1::ColorOf(f->Edit2), White);
        QCOMPARE(TForm1::ColorOf(f->ComboBox16), White);
    }

    void menuSaveWithAFieldThatDoesNotConvertWritesNothing() {
        FormFixture f;
        StopTimers(*f);
        ShowFields(*f);
        f->Edit9->setText("abc");
        Answer(*f, f.dir().filePath("job"), true);
        f->N3->trigger();
        QVERIFY(!f.boxes.boxes.empty());
        QVERIFY(!QFile::exists(f.dir().filePath("job.prf")));
        QVERIFY(!QFile::exists(f.dir().filePath("job")));
    }

    // Before any read the fields show only the placeholder: the profile is saved all the same, with the
    // image's words where a field shows it, and the placeholder never becomes the text words.
    void menuSaveBeforeAnyReadKeepsTheImagesWords() {
        FormFixture f;
        StopTimers(*f);
        QCOMPARE(f->Edit5->text(), QStringLiteral("Данных нет"));
        QCOMPARE(f->Edit8->text(), QStringLiteral("Данных нет"));
        f->image.words[48] = 0x4142;
        f->image.words[0] = 77;
        f->text().modelValue = 300;
        f->Edit10->setText("12"); // what the user typed is taken
        Answer(*f, f.dir().filePath("job.prf"), true);
        f->N3->trigger();

        QCOMPARE(f.boxes.boxes.size(), size_t(0));
        const QString path = f.dir().filePath("job.prf");
        QCOMPARE(Value(path, "TXT", "ch0"), QStringLiteral("16706"));
        QCOMPARE(Value(path, "MODEL", "mdl"), QStringLiteral("300"));
        QCOMPARE(Value(path, "MODEL", "verh"), QStringLiteral("12"));
        QCOMPARE(f->image.words[0], uint16_t(77));

        // Closing keeps them too.
        f->close();
        QCOMPARE(Value(f.dir().filePath("recent.prf"), "TXT", "ch0"), QStringLiteral("16706"));
    }

    void dialogsLeaveTheWorkingFolderAlone() {
        FormFixture f;
        StopTimers(*f);
        ShowFields(*f);
        const QString home = QDir::currentPath();
        QTemporaryDir elsewhere;
        QVERIFY(elsewhere.isValid());

        // Picks a name in another folder in whichever file dialog opens.
        QString pick;
        QTimer picker;
        connect(&picker, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || pick.isEmpty()) return;
            // As the user does: goes to the folder and types the name.
            dialog->setDirectory(elsewhere.path());
            auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(nameEdit);
            nameEdit->setText(pick);
            pick.clear();
            QMetaObject::invokeMethod(dialog, "accept"); // as the dialog's own button does
        });
        picker.start(20);

        pick = "picked.prf";
        f->N2->trigger();
        QVERIFY(QFile::exists(QDir(elsewhere.path()).filePath("picked.prf"))); // created by the load
        pick = "saved";
        f->N3->trigger();
        QVERIFY(QFile::exists(QDir(elsewhere.path()).filePath("saved.prf")));
        QCOMPARE(QDir::currentPath(), home);

        QFile::remove(f.dir().filePath("recent.prf"));
        f->close();
        QVERIFY(QFile::exists(f.dir().filePath("recent.prf")));
        QVERIFY(!QFile::exists(QDir(elsewhere.path()).filePath("recent.prf")));
    }

    void closingWritesTheWindowIntoRecentProfile() {
        FormFixture f;
        StopTimers(*f);
        f->TabbedNotebook1->setCurrentIndex(0);
        f->RichEdit1->setPlainText("1\n2\n3\n4\n5\n6");
        f->CheckBox4->setChecked(false);
        f->CheckBox1->setChecked(true);
        f->ComboBox12->setEditText("9");
        f->CheckBox11->setChecked(false);
        f->image.words[56] = 0x4142; // kept only by the profile
        f->close();

        const QString recent = f.dir().filePath("recent.prf");
        QCOMPARE(Value(recent, "TAB", "num"), QStringLiteral("0"));
        QCOMPARE(Value(recent, "Definition", "txt3"), QStringLiteral("4"));
        QCOMPARE(Value(recent, "Definition", "txt4"), QStringLiteral("<missing>"));
        QCOMPARE(Value(recent, "Seach", "1200"), QStringLiteral("1"));
        QCOMPARE(Value(recent, "Seach", "9600"), QStringLiteral("0"));
        QCOMPARE(Value(recent, "Seach", "beg"), QStringLiteral("9"));
        QCOMPARE(Value(recent, "IZM", "write_file"), QStringLiteral("0"));
        QCOMPARE(Value(recent, "TXT", "ch8"), QStringLiteral("16706"));
    }

    // ---- Port assignment ----

    void portDialogListsThePortsAndTheDevicesPresent() {
        FormFixture f(PortsOptions());
        PortsDialog dialog(FakeDevices(), f->ports().PortPathsNow());
        QCOMPARE(dialog.PortTable->rowCount(), 8);
        QCOMPARE(dialog.PortTable->item(0, 0)->text(), QStringLiteral("COM1"));
        QCOMPARE(dialog.pathBox(1)->currentText(), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(dialog.pathBox(2)->currentText(), QStringLiteral("tcp://127.0.0.1:4001"));
        QCOMPARE(dialog.pathBox(8)->currentText(), QStringLiteral("/dev/ttyS7"));
        // Each box offers the devices present, by their stable name where they have one.
        QCOMPARE(dialog.pathBox(3)->count(), 3);
        QCOMPARE(dialog.pathBox(3)->itemText(1),
                 QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0"));
        QCOMPARE(dialog.pathBox(3)->itemText(2), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(dialog.pathBox(1)->count(), 2); // the current path is not offered twice

        QCOMPARE(dialog.DeviceTable->rowCount(), 2);
        const QStringList first{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"),
                                QStringLiteral("FTDI"), QStringLiteral("A1B2C3"),
                                QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0")};
        for (int column = 0; column < 5; ++column)
            QCOMPARE(dialog.DeviceTable->item(0, column)->text(), first[column]);
        QCOMPARE(dialog.DeviceTable->item(1, 4)->text(), QString());
        QVERIFY(dialog.paths() == f->ports().PortPathsNow()); // nothing chosen, nothing changes

        // A USB adapter's chip and latency, as sysfs tells them; for the port the program holds, what
        // became of its low latency. A built-in port has neither.
        olv::test::FakeSysfs sys;
        sys.addUsb("ttyUSB0", olv::test::FakeSysfs::Usb{});
        sys.addBuiltIn("ttyS0");
        const olv::link::UsbPortState held{"/dev/ttyUSB0", {}, olv::link::LowLatency::Refused};
        PortsDialog usb(FakeDevices(), f->ports().PortPathsNow(), nullptr, UsbLookup{sys.root(), held});
        QCOMPARE(usb.DeviceTable->columnCount(), 7);
        QCOMPARE(usb.DeviceTable->item(0, 5)->text(),
                 QStringLiteral("FTDI FT232R USB UART (0403:6001, ftdi_sio)"));
        QCOMPARE(usb.DeviceTable->item(0, 6)->text(),
                 QStringLiteral("16 мс: драйвер отказал в низкой задержке"));
        QCOMPARE(usb.DeviceTable->item(1, 5)->text(), QString());
        QCOMPARE(usb.DeviceTable->item(1, 6)->text(), QString());

        // The picture for the documentation shows the same dialog.
        f->ports().enumerateSerialDevices = FakeDevices;
        const QString picture = f.dir().filePath("ports.png");
        QVERIFY(GrabPortsDialog(*f, picture));
        QVERIFY(QImage(picture).width() >= 400);
    }

    void portDialogOkWritesTheMappingKeepsTheRestAndReopensTheCurrentPort() {
        FormFixture f(PortsOptions());
        StopTimers(*f);
        QCOMPARE(f->N4->text(), QStringLiteral("Назначение портов…"));
        QCOMPARE(f->N1->actions().indexOf(f->N4), 2);
        QCOMPARE(f->ComboBox1->itemData(1, Qt::ToolTipRole).toString(),
                 QStringLiteral("tcp://127.0.0.1:4001"));
        const QByteArray before = ReadBytes(f.dir().filePath("dev.dat"));
        const size_t opensBefore = f.port->opens.size();

        // Cancel changes nothing.
        f->ports().enumerateSerialDevices = FakeDevices;
        f->ports().runPortsDialog = [](PortsDialog& dialog) {
            dialog.pathBox(1)->setCurrentIndex(1);
            return false;
        };
        f->N4->trigger();
        QCOMPARE(ReadBytes(f.dir().filePath("dev.dat")), before);
        QCOMPARE(f.port->opens.size(), opensBefore);

        // COM1, the port in use, gets the adapter by its stable name; COM4 a typed path.
        f->ports().runPortsDialog = [](PortsDialog& dialog) {
            dialog.pathBox(1)->setCurrentIndex(1);
            dialog.pathBox(4)->setEditText(QStringLiteral(" /dev/ttyACM0 "));
            return true;
        };
        const olv::device::InstrumentId read{f->linkSettings.portNumber, f->linkSettings.address};
        f->image.source = read;
        f->N4->trigger();
        QVERIFY(!f->image.source); // words read over the old device may be another instrument's
        const QByteArray stable = "/dev/serial/by-id/usb-FTDI_FT232R_A1B2C3-if00-port0";
        QByteArray expected = before;
        expected.replace("COM2=tcp://127.0.0.1:4001\r\n",
                         "COM2=tcp://127.0.0.1:4001\r\nCOM1=" + stable + "\r\nCOM4=/dev/ttyACM0\r\n");
        QCOMPARE(ReadBytes(f.dir().filePath("dev.dat")), expected);
        QCOMPARE(f.port->opens.size(), opensBefore + 1);
        QCOMPARE(f.port->opens.back().path, stable.toStdString());
        QCOMPARE(f.port->opens.back().line.parity, f->linkSettings.parity);
        QCOMPARE(f->ComboBox1->itemData(0, Qt::ToolTipRole).toString(), QString::fromLatin1(stable));
        QCOMPARE(f->ComboBox1->itemData(3, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(f.boxes.boxes.size(), size_t(0));

        // Another port changed only: the one in use stays open as it is.
        f->ports().runPortsDialog = [](PortsDialog& dialog) {
            dialog.pathBox(5)->setEditText(QStringLiteral("/dev/ttyUSB3"));
            dialog.pathBox(7)->setEditText(QStringLiteral("/dev/serial/by-id/адаптер-日本"));
            return true;
        };
        f->image.source = read;
        f->N4->trigger();
        QCOMPARE(f.port->opens.size(), opensBefore + 1);
        QVERIFY(f->image.source == read);
        QCOMPARE(olv::settings::ResolvePortPath(5), std::string("/dev/ttyUSB3"));
        // Stored as the file system spells it, whatever the file's encoding.
        QCOMPARE(olv::settings::ResolvePortPath(7),
                 QStringLiteral("/dev/serial/by-id/адаптер-日本").toStdString());

        // A path a settings line cannot hold whole is refused with a box that says why; nothing is written.
        const QByteArray kept = ReadBytes(f.dir().filePath("dev.dat"));
        f->ports().runPortsDialog = [](PortsDialog& dialog) {
            dialog.pathBox(6)->setEditText(QString(1024, u'x'));
            return true;
        };
        f->N4->trigger();
        QCOMPARE(ReadBytes(f.dir().filePath("dev.dat")), kept);
        QCOMPARE(f.boxes.boxes.size(), size_t(1));
        QVERIFY2(f.boxes.boxes[0].text.contains("COM6"), qPrintable(f.boxes.boxes[0].text));
    }

    // Whether a port starts without transmitting is ticked per port in the dialog and kept in dev.dat
    // next to its path; only the ports ticked or unticked here are written.
    void portDialogKeepsPerPortWhetherItStartsWithoutTransmitting() {
        FormFixture f(PortsOptions());
        StopTimers(*f);
        f->ports().enumerateSerialDevices = FakeDevices;
        QString caption, tick;
        f->ports().runPortsDialog = [&](PortsDialog& dialog) {
            caption = dialog.PortTable->horizontalHeaderItem(2)->text();
            tick = dialog.listenItem(3)->text();
            for (int n = 1; n <= 8; ++n)
                if (dialog.listenItem(n)->checkState() != Qt::Unchecked) return false;
            dialog.listenItem(3)->setCheckState(Qt::Checked);
            return true;
        };
        f->N4->trigger();
        QCOMPARE(caption, QStringLiteral("При запуске"));
        QCOMPARE(tick, QStringLiteral("только слушать"));
        QVERIFY(olv::settings::ListensAtStart(3));
        QVERIFY(!olv::settings::ListensAtStart(1));
        QVERIFY(
            ReadBytes(f.dir().filePath("dev.dat")).contains("COM2=tcp://127.0.0.1:4001\r\nListenCOM3=1\r\n"));
        QCOMPARE(f.port->opens.size(), size_t(1)); // the port in use leads where it did

        // Another window ticks COM5 meanwhile; this one unticks COM3, and COM5 stays as that one left it.
        olv::settings::SavePortPaths({}, {std::nullopt, std::nullopt, std::nullopt, std::nullopt, true});
        f->ports().runPortsDialog = [](PortsDialog& dialog) {
            if (dialog.listenItem(3)->checkState() != Qt::Checked) return false;
            dialog.listenItem(3)->setCheckState(Qt::Unchecked);
            return true;
        };
        f->N4->trigger();
        const olv::settings::ListenChoices expected{false, false, false, false, true, false, false, false};
        QVERIFY(olv::settings::CurrentListenChoices() == expected);
        QCOMPARE(f.boxes.boxes.size(), size_t(0));
    }
};

OLV_UI_TEST_MAIN(ProfileTest)
#include "profile_test.moc"
