// A failed meter's configuration saved to a file and put into a spare on the same line, the compare
// dialog, the journal of writes and the commissioning record, against the virtual instrument.
#include "tests/support/file_size_limit.h"
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "device/encodings.h"
#include "print/document_pdf.h"
#include "records/commissioning_record.h"
#include "records/config_file.h"
#include "records/journal.h"
#include "settings/ini_file.h"
#include "ui/dialogs/form2.h"

#include <QTimer>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include <cerrno>
#include <cstring>

using olv::messages::BoxAnswer;
using olv::test::SimFormFixture;

namespace {

// Address 1 is the failed meter, 2 a spare of the same model with the simulator's defaults (serial
// 123456 made 15.03.2007, range 0..1.6 МПа, damping "4", trim 0 / 1) and kept words of its own, 3 a
// meter of another model.
SimFormFixture::Options ReplacementLine() {
    SimFormFixture::Options options;
    options.simArgs = {
        "--quiet",
        "--instrument",
        "addr=1,serial=111111,date=1.2.2010,range_max=2.5,range_min=-0.1,damping=5,units=2,"
        "sensor_units=2,trim_offset=0.0125,trim_multiplier=1.00012345,text=Котельная 2,reg.4=4097,"
        "reg.10=4106,reg.36=4132",
        "--instrument",
        "addr=2,reg.4=8196,reg.10=8202,reg.36=8228,byte_order=2",
        "--instrument",
        "addr=3,model_code=3"};
    return options;
}

QStringList BoxLines(const olv::test::RecordingBoxes& boxes) {
    QStringList lines;
    for (const olv::messages::Box& box : boxes.boxes)
        lines << box.caption + QStringLiteral(": ") + box.text;
    return lines;
}

// The next file dialog is answered with this name and the first filter entry.
void Answer(TForm1& form, const QString& fileName) {
    form.chooseProfileFile = [fileName](QFileDialog*, QString& name, bool& firstFilter) {
        name = fileName;
        firstFilter = true;
        return true;
    };
}

void Reach(TForm1& form, int address) {
    form.ComboBox3->setCurrentIndex(address);
    form.ComboBox3Change();
}

// Saves the failed meter's configuration as failed.cfg; the window is left at address 1.
QString SaveFailedMeter(SimFormFixture& f) {
    Answer(*f, f.dir().filePath("failed")); // the extension is added
    f->configFile().N5Click();
    const QString cfg = f.dir().filePath("failed.cfg");
    if (BoxLines(f.boxes) !=
        QStringList{"Результат операции: Конфигурация прибора записана в файл " + cfg + "."})
        qWarning() << BoxLines(f.boxes);
    f.boxes.boxes.clear();
    return cfg;
}

std::map<std::string, std::string> Registers(SimFormFixture& f, int address,
                                             std::initializer_list<int> registers) {
    std::map<std::string, std::string> dump = f.sim.dump(address), picked;
    for (int r : registers)
        picked["reg." + std::to_string(r)] = dump["reg." + std::to_string(r)];
    return picked;
}

// Every stored register but the measured ones, which change by themselves.
std::map<std::string, std::string> Stored(SimFormFixture& f, int address) {
    std::map<std::string, std::string> stored;
    for (const auto& [key, value] : f.sim.dump(address))
        if (key.rfind("reg.", 0) == 0 && key != "reg.15" && key != "reg.16" && key != "reg.17")
            stored[key] = value;
    return stored;
}

const std::initializer_list<int> FileRegisters{9,  18, 19, 20, 21, 48, 49, 50, 51,
                                               52, 53, 54, 55, 58, 59, 60, 61, 62};
const std::initializer_list<int> OwnRegisters{0,  1,  2,  3,  4,  5,  8,  10, 11,   36,   37,   38,  39,
                                              40, 41, 42, 43, 44, 45, 46, 47, 1024, 1027, 1028, 1034};

QStringList MarkedRows(const Form2& dialog) {
    QStringList names;
    for (int row = 0; row < dialog.StringGrid1->rowCount(); ++row)
        if (dialog.RowMarked(row)) names << dialog.StringGrid1->item(row, 0)->text();
    return names;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) process.kill(); // its own child, by its pid
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class ConfigFileTest : public QObject {
    Q_OBJECT

  private slots:
    void spareTakesTheFailedMetersConfigurationAndKeepsItsOwnIdentity() {
        SimFormFixture f(ReplacementLine());
        QVERIFY(f.started());
        f.settle();
        const QString cfg = SaveFailedMeter(f);
        const olv::settings::IniFile ini(cfg);
        for (int r : olv::records::ConfigFileRegisters())
            QCOMPARE(ini.readInteger("REGISTERS", QStringLiteral("r%1").arg(r), -1), int(f.sim.reg(r)));
        const auto failed = Registers(f, 1, FileRegisters);
        const auto spare = Registers(f, 2, OwnRegisters);

        Reach(*f, 2);
        QStringList markedAfter;
        f->configFile().runCompareDialog = [&](Form2& dialog) {
            dialog.Button1->click();
            markedAfter = MarkedRows(dialog);
        };
        Answer(*f, cfg);
        f->configFile().N6Click();
        QCOMPARE(
            BoxLines(f.boxes),
            (QStringList{"Подтвердите действие: Конфигурация из файла будет записана в прибор с заводским "
                         "номером 123456?",
                         "Результат операции: Конфигурация записана и проверена."}));
        // Only what the spare keeps of its own still differs (the byte order is a communication setting).
        QCOMPARE(markedAfter, (QStringList{"Заводской номер", "Дата выпуска", "Сетевой номер",
                                           "Порядок байт в измеренном значении"}));
        QCOMPARE(Registers(f, 2, FileRegisters), failed);
        QCOMPARE(Registers(f, 2, OwnRegisters), spare);

        const std::vector<QStringList> journal = olv::records::ReadJournal(f->journal().JournalPath());
        QCOMPARE(journal.size(), size_t(1));
        QCOMPARE(journal[0].mid(1), (QStringList{"COM1",
                                                 QString::fromStdString(f.sim.path()),
                                                 "2",
                                                 "150",
                                                 "123456",
                                                 "Запись конфигурации из файла failed.cfg",
                                                 "записано",
                                                 "Максимум диапазона",
                                                 "1,6000",
                                                 "2,5000",
                                                 "Минимум диапазона",
                                                 "0,0000",
                                                 "-0,1000",
                                                 "Демпфирование",
                                                 "4",
                                                 "25",
                                                 "Единицы",
                                                 "МПа",
                                                 "кПа",
                                                 "Единицы датчика",
                                                 "МПа",
                                                 "кПа",
                                                 "Подстройка: смещение",
                                                 "0,0000",
                                                 "0,0125",
                                                 "Подстройка: диапазон",
                                                 "1,0000",
                                                 "1,0001",
                                                 "Текст, хранящийся в приборе",
                                                 "«Датчик давления »",
                                                 "«Котельная 2     »"}));
    }

    // The file saved from the meter with its range minimum edited above the maximum is refused before
    // anything is read or written, naming the field and its line; the spare keeps its range.
    void fileWithTheMinimumAboveTheMaximumIsRefusedWhole() {
        SimFormFixture f(ReplacementLine());
        QVERIFY(f.started());
        f.settle();
        const QString cfg = SaveFailedMeter(f);
        QByteArray bytes = ReadAll(cfg);
        const qsizetype at = bytes.indexOf("\r\nr20=");
        QVERIFY(at > 0);
        bytes.replace(at, bytes.indexOf("\r\nr22=") - at, "\r\nr20=16544\r\nr21=0"); // 5.0
        QFile file(cfg);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        const int line = int(bytes.left(at).count('\n')) + 2;
        Reach(*f, 2);
        const auto spare = Stored(f, 2);
        bool dialogShown = false;
        f->configFile().runCompareDialog = [&](Form2&) { dialogShown = true; };
        Answer(*f, cfg);
        f->configFile().N6Click();
        QCOMPARE(BoxLines(f.boxes),
                 QStringList{QStringLiteral("Ошибка: Файл %1 не принят: строка %2, r20: минимум диапазона 5.0000 "
                                            "не меньше максимума 2.5000.")
                                 .arg(cfg)
                                 .arg(line)});
        QVERIFY(!dialogShown);
        QCOMPARE(Stored(f, 2), spare);
    }

    // Markup in the instrument's text is printed as the characters it is made of.
    void recordPrintsMarkupInTheDeviceTextAsText() {
        SimFormFixture::Options options;
        options.simArgs = {"--quiet", "--instrument", "addr=1,text=<b>&lt;i&gt;</b>"};
        SimFormFixture f(options);
        QVERIFY(f.started());
        f.settle();
        Answer(*f, f.dir().filePath("rec"));
        f->record().N7Click();
        const QString text = Run("pdftotext", {f.dir().filePath("rec.pdf"), "-"});
        QVERIFY2(text.contains(QStringLiteral("«<b>&lt;i&gt;</b>»")), qPrintable(text));

        // A bare ampersand and a script tag as well, straight through the record's HTML and PDF.
        olv::records::RecordData data;
        olv::device::TextToWords(QStringLiteral("<b>&<script>x"), data.state.image.words.data() + 48);
        const QString pdf = f.dir().filePath("markup.pdf");
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(olv::print::DocumentPdf(olv::records::RecordHtml(data, QString(), QSize()), QImage(), QStringLiteral("t")));
        file.close();
        const QString markup = Run("pdftotext", {pdf, "-"});
        QVERIFY2(markup.contains(QStringLiteral("«<b>&<script>x")), qPrintable(markup));
    }

    void otherModelIsRefusedAndThePageWritesWhatItWasShown() {
        SimFormFixture f(ReplacementLine());
        QVERIFY(f.started());
        f.settle();
        const QString cfg = SaveFailedMeter(f);
        const QString refusal = "Ошибка: В файле " + cfg +
                                " конфигурация прибора с кодом модели 2, а у прибора на линии код модели 3. "
                                "Запись не производится.";
        Reach(*f, 3);
        const auto other = Stored(f, 3);
        f->configFile().runCompareDialog = [](Form2& dialog) {
            dialog.Button1->click();
            dialog.Button2->click();
        };
        Answer(*f, cfg);
        f->configFile().N6Click();
        QCOMPARE(BoxLines(f.boxes), (QStringList{refusal, refusal}));
        QCOMPARE(Stored(f, 3), other);
        QVERIFY(!QFile::exists(f->journal().JournalPath()));

        // On the spare the file's values go into the sensor page, and its "Записать" sends them as
        // the file has them (not as rounded to the four decimals shown), keeping the spare's serial.
        Reach(*f, 2);
        f->sensor().Button2Click(); // the page shows the spare
        f.boxes.boxes.clear();
        f->configFile().runCompareDialog = [](Form2& dialog) { dialog.Button2->click(); };
        f->configFile().N6Click();
        QCOMPARE(f->TabbedNotebook1->currentIndex(), 1);
        QCOMPARE(f->Edit7->text(), QStringLiteral("     1.0001"));
        QCOMPARE(TForm1::ColorOf(f->Edit7), QColor(0, 255, 255));
        QCOMPARE(TForm1::ColorOf(f->Edit4), QColor(255, 255, 255));
        f->sensor().Button3Click();
        QCOMPARE(Registers(f, 2, {9, 18, 19, 20, 21, 58, 59, 60, 61, 62}),
                 Registers(f, 1, {9, 18, 19, 20, 21, 58, 59, 60, 61, 62}));
        QCOMPARE(f.sim.dump(2)["serial"], std::string("123456"));
    }

    void silentInstrumentInTheMiddleEndsWithTheBoxAndAJournalLineOfTheBlocksWritten() {
        SimFormFixture f(ReplacementLine());
        QVERIFY(f.started());
        f.settle();
        const QString cfg = SaveFailedMeter(f);
        Reach(*f, 2);
        int writes = 0;
        f->master.setObserver([&](const olv::link::ExchangeRecord& exchange) {
            if (exchange.request[1] == 16 && ++writes == 2) f.sim.command("fault noreply on");
        });
        f->configFile().runCompareDialog = [](Form2& dialog) { dialog.Button1->click(); };
        Answer(*f, cfg);
        f->configFile().N6Click();
        f.sim.command("fault noreply off");
        QCOMPARE(BoxLines(f.boxes).value(1),
                 QStringLiteral("Ошибка в обмене.: При приеме не принято ожидаемое число символов."));
        const std::vector<QStringList> journal = olv::records::ReadJournal(f->journal().JournalPath());
        QCOMPARE(journal.size(), size_t(1));
        QCOMPARE(journal[0].value(7), QStringLiteral("нет ответа; записаны регистры 0–5, 9–11"));
    }

    // The confirmation lists what the spare will take; a write the spare refuses part way names the
    // blocks it holds, and the dialog keeps showing the spare as it was read.
    void confirmationListsTheChangesAndAWriteStoppedPartWayNamesWhatTheSpareHolds() {
        SimFormFixture f(ReplacementLine());
        QVERIFY(f.started());
        f.settle();
        const QString cfg = SaveFailedMeter(f);
        Reach(*f, 2);
        int writes = 0;
        f->master.setObserver([&](const olv::link::ExchangeRecord& exchange) {
            if (exchange.request[1] == 16 && ++writes == 3) f.sim.command("@2 fault exception 4 once");
        });
        f->configFile().runCompareDialog = [](Form2& dialog) { dialog.Button1->click(); };
        Answer(*f, cfg);
        f->configFile().N6Click();
        f->master.setObserver({});

        QCOMPARE(f.boxes.boxes.size(), size_t(2));
        const QStringList rows = f.boxes.boxes[0].details.split(u'\n');
        QCOMPARE(rows.value(0), QStringLiteral("Максимум диапазона: 1.6000 → 2.5000"));
        QVERIFY2(rows.contains(QStringLiteral("Текст, хранящийся в приборе: «Датчик давления » → «Котельная 2     »")),
                 qPrintable(rows.join(" | ")));
        QCOMPARE(rows.size(), 8);
        QCOMPARE(f.boxes.boxes[1].text, QStringLiteral("Ошибка в работе адресуемого устройства."));
        QCOMPARE(f.boxes.boxes[1].detail,
                 QStringLiteral("Прибор хранит отправленные значения регистров 0–5, 9–11, 18–21, 36–43. Не записаны: "
                                "44–47, 48–55, 58–62.")); // 36–43 were refused, but hold the spare's own words

        const std::vector<QStringList> journal = olv::records::ReadJournal(f->journal().JournalPath());
        QCOMPARE(journal.size(), size_t(1));
        QVERIFY(journal[0].value(7).endsWith(QStringLiteral("; записаны регистры 0–5, 9–11, 18–21, 36–43")));
        QCOMPARE(journal[0].mid(8, 6), (QStringList{"Максимум диапазона", "1,6000", "2,5000", "Минимум диапазона",
                                                    "0,0000", "-0,1000"}));
        QCOMPARE(journal[0].size(), 8 + 3 * 4); // the range, the damping and the units only
    }

    void journalThatCannotTakeALineAsksBeforeAnythingIsWritten() {
        SimFormFixture f(ReplacementLine());
        QVERIFY(f.started());
        f.settle();
        const QString journal = f->journal().JournalPath();
        QFile file(journal);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("earlier line\r\n") > 0);
        file.close();
        const QByteArray before = ReadAll(journal);
        const auto stored = Stored(f, 1);
        {
            olv::test::FileSizeLimit limit(before.size() + 10);
            QVERIFY(limit.ok());
            f.boxes.answers = {BoxAnswer::Yes, BoxAnswer::No};
            f->Edit5->setText("151");
            f->sensor().Button3Click();
            QCOMPARE(BoxLines(f.boxes).value(1),
                     "Подтвердите действие: Журнал изменений " + journal +
                         " не может быть записан: " + QString::fromLocal8Bit(std::strerror(EFBIG)) +
                         ".\nЗаписать в прибор без записи в журнал?");
            QCOMPARE(Stored(f, 1), stored);
            f.boxes.answers = {BoxAnswer::Yes, BoxAnswer::Yes};
            f->sensor().Button3Click();
            QCOMPARE(f.sim.dump(1)["model"], std::string("151"));
        }
        QCOMPARE(ReadAll(journal), before);
        // The line is on the disk before the write is said to have succeeded.
        qsizetype linesWhenSaid = 0;
        f.boxes.whileShown = [&](const olv::messages::Box& box) {
            if (box.text == QStringLiteral("Данные конфигурации записаны."))
                linesWhenSaid = ReadAll(journal).count('\n');
        };
        f->Edit5->setText("152");
        f->sensor().Button3Click();
        QCOMPARE(linesWhenSaid, qsizetype(2));
    }

    // Readings of meter 1 are not printed under meter 2's configuration: left out with a line that
    // says so; meter 2's own readings are, with the span they cover.
    void recordTakesOnlyItsInstrumentsReadings() {
        SimFormFixture f(ReplacementLine());
        QVERIFY(f.started());
        f->Timer1->stop();
        f.settle();
        f->TabbedNotebook1->setCurrentIndex(0);
        for (int i = 0; i < 3; ++i)
            f->live().Timer1Timer();
        Reach(*f, 2);
        const QString leftOut =
            QStringLiteral("Измерения другого прибора (прибор 1, COM1, зав. № 111111) в протокол не включены.");
        Answer(*f, f.dir().filePath("mixed"));
        f->record().N7Click();
        QString text = Run("pdftotext", {f.dir().filePath("mixed.pdf"), "-"}).simplified();
        QVERIFY2(text.contains(leftOut), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("Период")), qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("последние 10 минут")));

        for (int i = 0; i < 2; ++i)
            f->live().Timer1Timer();
        Answer(*f, f.dir().filePath("own"));
        f->record().N7Click();
        text = Run("pdftotext", {f.dir().filePath("own.pdf"), "-"}).simplified();
        QVERIFY2(text.contains(leftOut), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Период")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("Измерений 2")), qPrintable(text));
    }

    void recordHoldsSerialRangeAndRussianCaptionsAndAFullDiskLeavesNothing() {
        SimFormFixture f(ReplacementLine());
        QVERIFY(f.started());
        f.settle();
        Answer(*f, f.dir().filePath("rec"));
        f->record().N7Click();
        const QString pdf = f.dir().filePath("rec.pdf");
        QCOMPARE(BoxLines(f.boxes),
                 QStringList{"Результат операции: Протокол настройки записан в файл " + pdf + "."});
        const QString text = Run("pdftotext", {pdf, "-"});
        for (const char* expected :
             {"Протокол настройки", "Mod Bus OLV 1.1.3.1", "Заводской номер", "111111", "Диапазон измерения",
              "-0.1000 … 2.5000 кПа", "Котельная 2", "Наладчик", "Подпись"})
            QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);
        const QStringList fonts = Run("pdffonts", {pdf}).split(u'\n', Qt::SkipEmptyParts).mid(2);
        QVERIFY(!fonts.isEmpty());
        for (const QString& font : fonts)
            QVERIFY2(font.contains(QStringLiteral(" yes ")), qPrintable(font)); // embedded

        f.boxes.boxes.clear();
        Answer(*f, f.dir().filePath("full"));
        {
            olv::test::FileSizeLimit limit(4000);
            QVERIFY(limit.ok());
            f->record().N7Click();
        }
        QCOMPARE(BoxLines(f.boxes),
                 QStringList{"Ошибка: Протокол настройки не записан в файл " + f.dir().filePath("full.pdf") +
                             ": " + QString::fromLocal8Bit(std::strerror(EFBIG)) + "."});
        QCOMPARE(f.dir().entryList({"*full*"}, QDir::Files | QDir::Hidden), QStringList());
    }
};

OLV_UI_TEST_MAIN(ConfigFileTest)
#include "config_file_test.moc"
