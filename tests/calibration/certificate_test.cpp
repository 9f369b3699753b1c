// The certificate's HTML and its CSV of the tables.

#include "calibration/certificate.h"
#include "calibration/certificate_files.h"
#include "records/visit.h"
#include "tests/support/file_size_limit.h"
#include "text/cp1251.h"
#include "device/encodings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace olv::calibration;

namespace {

const Range Mpa{0, 1.6, QStringLiteral("МПа")};

PointResult At(int point, double nominal, double error, Direction direction = Direction::Up) {
    return EvaluatePoint({point, nominal, direction, 0}, nominal, nominal + error, 0.0001, 5, Tolerance{},
                         1.6);
}

CertificateData Sample() {
    CertificateData d;
    d.caption = QStringLiteral("Mod Bus OLV 1.1.3.1");
    d.when = QDateTime(QDate(2024, 5, 31), QTime(14, 5, 9));
    d.port = QStringLiteral("COM1");
    d.devicePath = QStringLiteral("/dev/ttyUSB0");
    d.address = 7;
    d.image.words[0] = 150;
    d.image.words[1] = 2;
    d.image.words[2] = 0x0001;
    d.image.words[3] = 0xE240;
    olv::device::TextToWords(QStringLiteral("<b>Ввод</b> & 2"), &d.image.words[48]);
    d.image.moduleModel = 256;
    d.image.moduleSoftware = 107;
    d.range = Mpa;
    d.reference = {QStringLiteral("Калибратор <script>"),
                   QStringLiteral("A-17"),
                   QStringLiteral("№ 5/24"),
                   0.0008,
                   ReferenceMode::Instrument,
                   2};
    d.person = QStringLiteral("Иванов И. И. <i>");
    d.ambientCelsius = 21.5;
    d.procedure = DefaultProcedure(Mpa);
    d.asFound = {At(0, 0, 0.008), At(1, 0.4, 0.009), SkippedPoint({2, 0.8, Direction::Up, 0})};
    d.uncertainty = ExpandedUncertainty(0.0008, ShownResolution(), 0.0001);
    return d;
}

TEST(CertificateHtml, KeepsMarkupFromTheInstrumentAndTheEngineerAsText) {
    const QString html = CertificateHtml(Sample());
    for (const char* raw : {"<b>Ввод", "<script>", "<i>"})
        EXPECT_FALSE(html.contains(QString::fromUtf8(raw))) << raw;
    EXPECT_TRUE(html.contains(QStringLiteral("&lt;b&gt;Ввод&lt;/b&gt; &amp; 2")));
    EXPECT_TRUE(html.contains(QStringLiteral("Калибратор &lt;script&gt;")));
    EXPECT_TRUE(html.contains(QStringLiteral("Иванов И. И. &lt;i&gt; ____")));
}

TEST(CertificateHtml, StatesTheInstrumentTheProcedureTheTablesAndTheirVerdicts) {
    const QString html = CertificateHtml(Sample());
    for (const char* text : {"Сертификат о калибровке",
                             "31.05.2024 14:05:09",
                             "COM1 (/dev/ttyUSB0)",
                             "<td>123456</td>",
                             "модель 256, версия модуля 0, версия ПО модуля 107",
                             "0.0000 … 1.6000 МПа",
                             "A-17",
                             "№ 5/24",
                             "эталонный прибор на линии, адрес 2",
                             "21.5 °C",
                             "0.0000; 0.4000; 0.8000; 1.2000; 1.6000 МПа",
                             "±0.250 % диапазона (±0.0040 МПа)",
                             "разброс 5 последних показаний не более 0.0008 МПа",
                             "<td>+0.0090</td><td>+0.563</td><td>не годен</td>",
                             "<td>пропущена</td>",
                             "без подстройки",
                             "не проводилась: прибор оставлен без подстройки",
                             "Прибор не годен.",
                             "U = 2",
                             "(подпись)"})
        EXPECT_TRUE(html.contains(QString::fromUtf8(text))) << text;
    EXPECT_FALSE(html.contains(QStringLiteral("Сертификат о калибровке №")));
}

TEST(CertificateHtml, ShowsTheTrimTheInstrumentHoldsAfterTheWriteNotTheOneMeant) {
    CertificateData d = Sample();
    d.trim = TrimRecord{TrimKind::TwoPoint, {0, 1}, Trim{-0.0079f, 0.9901f}, QStringLiteral("записано")};
    d.asLeft = {At(0, 0, 0.0001), At(1, 0.4, -0.0002)};
    QString html = CertificateHtml(d);
    EXPECT_TRUE(html.contains(QStringLiteral("0.0000 → -0.0079")));
    EXPECT_TRUE(html.contains(QStringLiteral("1.0000 → 0.9901")));
    EXPECT_TRUE(html.contains(QStringLiteral("Прибор годен.")));
    EXPECT_FALSE(html.contains(QStringLiteral("без подстройки")));
    EXPECT_EQ(FinalVerdict(d), true);

    // The write failed and the read-back shows the old pair: the certificate says so.
    d.trim->after = d.trim->before;
    d.trim->outcome = QStringLiteral("нет ответа; ничего не записано");
    d.asLeft.clear();
    html = CertificateHtml(d);
    EXPECT_TRUE(html.contains(QStringLiteral("без подстройки: в приборе прежние значения")));
    EXPECT_TRUE(html.contains(QStringLiteral("нет ответа; ничего не записано")));
    EXPECT_EQ(FinalVerdict(d), false) << "nothing changed: the as-found verdict stands";

    // Unknown after the write, and not checked again: no verdict.
    d.trim->after.reset();
    html = CertificateHtml(d);
    EXPECT_TRUE(html.contains(QStringLiteral("что хранит прибор, неизвестно")));
    EXPECT_FALSE(FinalVerdict(d));
    EXPECT_TRUE(html.contains(QStringLiteral("Результат не определён")));
}

TEST(CalibrationOutcomeText, SaysEachVerdictAndTheTrimTheInstrumentHolds) {
    CertificateData d = Sample();
    EXPECT_EQ(CalibrationOutcomeText(d).toStdString(),
              QStringLiteral("до подстройки не годен (+0.563 %); без подстройки").toStdString());
    d.trim = TrimRecord{TrimKind::Zero, {0.01f, 0.98f}, Trim{-0.0079f, 0.98f}, QStringLiteral("записано")};
    d.asLeft = {At(0, 0, 0.0001), At(1, 0.4, -0.00021)};
    EXPECT_EQ(CalibrationOutcomeText(d).toStdString(),
              QStringLiteral("до подстройки не годен (+0.563 %); подстройка нуля: смещение 0.0100 → -0.0079, "
                             "множитель 0.9800 → 0.9800; после подстройки годен (-0.013 %)")
                  .toStdString());
    d.trim->after.reset();
    d.trim->outcome = QStringLiteral("нет ответа");
    d.asLeft.clear();
    EXPECT_EQ(CalibrationOutcomeText(d).toStdString(),
              QStringLiteral("до подстройки не годен (+0.563 %); подстройка нуля: нет "
                             "ответа, что хранит прибор, неизвестно")
                  .toStdString());
}

TEST(CertificateUncertainty, TakesTheRepeatabilityOfTheTableThatGivesTheVerdict) {
    CertificateData d = Sample(); // as found: mean deviations 0.0001 / sqrt(5)
    auto u = CertificateUncertainty(d);
    ASSERT_TRUE(u);
    EXPECT_NEAR(u->repeatability, 0.0001 / std::sqrt(5.0), 1e-12);
    EXPECT_DOUBLE_EQ(u->reference, 0.0004);
    d.asLeft = {At(0, 0, 0.0001)};
    d.asLeft[0].readingDeviation = 0.0004;
    d.asLeft[0].readingCount = 4;
    EXPECT_NEAR(CertificateUncertainty(d)->repeatability, 0.0002, 1e-12);
    d.reference.uncertainty = std::nan("");
    EXPECT_FALSE(CertificateUncertainty(d));
}

TEST(CertificateCsv, HoldsBothTablesInWindows1251) {
    CertificateData d = Sample();
    d.asFound = {At(0, 0, 0.008), SkippedPoint({1, 0.4, Direction::Down, 1})};
    d.asLeft = {At(0, 0, -0.0001)};
    const QByteArray csv = CertificateCsv(d);
    EXPECT_EQ(olv::text::FromCp1251(csv),
              QStringLiteral("Таблица;№;Точка;Ход;Цикл;Эталон;Показание;Погрешность;Погрешность, % диапазона;"
                             "Допуск;Единицы;Результат\r\n"
                             "до подстройки;1;0;прямой;1;0;0.008;0.008;0.5;0.004;МПа;не годен\r\n"
                             "до подстройки;2;0.4;обратный;2;;;;;0.004;МПа;пропущена\r\n"
                             "после подстройки;1;0;прямой;1;0;-0.0001;-0.0001;-0.00625;0.004;МПа;годен\r\n"));
    EXPECT_EQ(csv, olv::text::ToCp1251(olv::text::FromCp1251(csv))) << "every character has its byte";
}

} // namespace

TEST(CertificateFiles, KeepsThePdfOnlyWithItsTablesAndRefusesAFileInPlaceOfTheFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath("certificates");
    QString reason;
    // The folder is made, both files are written.
    ASSERT_TRUE(SaveCertificateFiles(folder, "СК-1", "%PDF-1.4", "a;b\r\n", reason)) << reason.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{"СК-1.csv", "СК-1.pdf"}));

    // A CSV that does not fit leaves no PDF without it.
    {
        olv::test::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.ok());
        EXPECT_FALSE(SaveCertificateFiles(folder, "СК-2", "%PDF", QByteArray(1000, 'x'), reason));
    }
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(QDir(folder).entryList({"СК-2*"}, QDir::Files | QDir::Hidden), QStringList());

    // A file where the folder should be is no folder, and is left as it is.
    const QString blocked = dir.filePath("blocked");
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
    file.close();
    EXPECT_FALSE(SaveCertificateFiles(blocked, "СК-3", "%PDF", "a", reason));
    EXPECT_TRUE(reason.contains("не папка")) << reason.toStdString();
    EXPECT_EQ(QFileInfo(blocked).size(), 1);
}

TEST(CertificateFiles, TheJournalLineNamesTheMeterOfTheCertificateAndWhatItHolds) {
    CertificateData d = Sample();
    d.trim = TrimRecord{TrimKind::Zero, {0.01f, 1}, Trim{-0.0079f, 1}, QStringLiteral("записано")};
    const QString number = CertificateNumber("123456", d.when);
    EXPECT_EQ(number, QStringLiteral("СК-123456-20240531-140509"));
    const olv::records::JournalEntry entry = CalibrationJournalEntry(d, "сертификат " + number);
    EXPECT_EQ(entry.serial, "123456");
    EXPECT_EQ(entry.model, "150");
    EXPECT_EQ(entry.address, 7);
    EXPECT_EQ(entry.operation, "Калибровка");
    EXPECT_EQ(entry.outcome, CalibrationOutcomeText(d) + "; сертификат " + number);
    EXPECT_TRUE(entry.outcome.contains("смещение 0.0100 → -0.0079")) << entry.outcome.toStdString();
    // A line the journal reads back as the calibration of this meter.
    const QStringList fields = olv::records::ParseJournalLine(olv::records::JournalLine(entry));
    const auto last = olv::records::LastCalibration({fields}, "123456");
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->outcome, entry.outcome);
    EXPECT_FALSE(olv::records::LastCalibration({fields}, "12345").has_value());
}
