// "Калибровка" against the virtual instrument with a sensor error model: as found out of tolerance, a
// two-point trim written into registers 59..62 only, as left within tolerance, the certificate kept
// beside the journal; and the faults of a check: a reference that is no number or out of range, a
// meter that never settles or goes silent, a reference meter that is missing or the meter itself, a
// trim write the instrument refuses, a cancel after the trim was written.
#include "tests/ui/form_fixture.h"
#include "tests/ui/window_test_main.h"

#include "calibration/number_texts.h"
#include "calibration/trim.h"
#include "records/commissioning_record.h"
#include "records/journal.h"
#include "ui/dialogs/calibration/calibration_dialog.h"
#include "ui/menus/calibration_menu.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>

using olv::calibration::RunState;
using olv::messages::BoxAnswer;
using olv::test::SimFormFixture;
using Stage = CalibrationDialog::Stage;

namespace {

// Zero +0.5 % of span and gain +1 %, a little noise: out of tolerance as found, within it after a
// two-point trim. The meter at address 2, without errors, can serve as the reference.
SimFormFixture::Options Bench(const std::string& errors = "zero=0.5,gain=1,noise=0.005,seed=11") {
    SimFormFixture::Options options;
    options.simArgs = {"--quiet", "--instruments-range", "1-2", "--sensor-error", errors};
    return options;
}

QStringList BoxTexts(const olv::test::RecordingBoxes& boxes) {
    QStringList texts;
    for (const olv::messages::Box& box : boxes.boxes)
        texts << box.text;
    return texts;
}

std::string Apply(SimFormFixture& f, double pressure, bool reference = false) {
    const std::string p = std::to_string(pressure);
    if (reference) f.sim.command("@2 apply " + p);
    return f.sim.command("apply " + p);
}

// Polls until the step is measured (or gives up), as the window's timer would once a second.
RunState PollUntilMeasured(CalibrationDialog& d, int polls = 40) {
    for (int i = 0; i < polls; ++i) {
        const RunState state = d.run()->state();
        if (state == RunState::Settled || state == RunState::TimedOut) return state;
        d.Poll();
    }
    return d.run()->state();
}

// Every step of the run: the pressure applied, measured, the reference typed as the point's value.
bool TakeTable(SimFormFixture& f, CalibrationDialog& d) {
    while (d.run() && d.run()->state() != RunState::Finished) {
        const double nominal = d.run()->currentStep()->nominal;
        Apply(f, nominal);
        d.AppliedButton->click();
        if (PollUntilMeasured(d) != RunState::Settled) return false;
        d.ReferenceEdit->setText(olv::calibration::ValueText(nominal));
        d.AcceptButton->click();
    }
    return d.run() != nullptr;
}

QStringList Column(const QTableWidget* table, int column) {
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << (table->item(row, column) ? table->item(row, column)->text() : QString());
    return texts;
}

std::string Trim(SimFormFixture& f) {
    const auto dump = f.sim.dump();
    return dump.at("reg.59") + " " + dump.at("reg.60") + " " + dump.at("reg.61") + " " + dump.at("reg.62");
}

// Every stored register but the measured ones (and the trim's, unless withTrim).
std::map<std::string, std::string> Stored(SimFormFixture& f, bool withTrim = true) {
    std::map<std::string, std::string> stored;
    for (const auto& [key, value] : f.sim.dump()) {
        if (key.rfind("reg.", 0) != 0 || key == "reg.15" || key == "reg.16" || key == "reg.17") continue;
        const int r = std::stoi(key.substr(4));
        if (withTrim || r < 59 || r > 62) stored[key] = value;
    }
    return stored;
}

void Prepare(CalibrationDialog& d) {
    d.PersonEdit->setText(QStringLiteral("Иванов И. И."));
    d.ReferenceDescriptionEdit->setText(QStringLiteral("Калибратор давления"));
    d.ReferenceUncertaintyEdit->setText(QStringLiteral("0.0008"));
}

QString PdfText(const QString& pdf) {
    QProcess process;
    process.start("pdftotext", {"-layout", pdf, "-"});
    if (!process.waitForFinished(30000)) process.kill(); // its own child, by its pid
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class CalibrationTest : public QObject {
    Q_OBJECT

  private slots:
    void outOfToleranceMeterIsTrimmedAtTwoPointsAndLeftWithinTolerance() {
        SimFormFixture f(Bench());
        QVERIFY(f.started());
        f.settle();
        olv::test::StopTimers(*f);
        const auto untouched = Stored(f, false);
        const std::string trimBefore = Trim(f);
        bool driven = false;
        f->calibration().runCalibrationDialog = [&](CalibrationDialog& d) {
            Prepare(d);
            d.StartButton->click();
            QCOMPARE(d.stage(), Stage::AsFound);
            QCOMPARE(d.ResultsTable->rowCount(), 5);
            QVERIFY(TakeTable(f, d));
            // Every point out of tolerance, coloured so.
            QCOMPARE(Column(d.ResultsTable, 7), QStringList(5, QStringLiteral("не годен")));
            QCOMPARE(d.ResultsTable->item(0, 7)->background().color(), QColor(255, 200, 200));
            QVERIFY(d.NextButton->isEnabled());
            d.NextButton->click();

            QCOMPARE(d.stage(), Stage::Trim);
            QCOMPARE(d.TrimKindBox->currentIndex(), 2); // the two-point trim is proposed
            QVERIFY(d.proposal().ok);
            QVERIFY2(d.ProposalLabel->text().contains(QStringLiteral("Ожидается после подстройки: годен")),
                     qPrintable(d.ProposalLabel->text()));
            QCOMPARE(Column(d.ExpectedTable, 7), QStringList(5, QStringLiteral("годен")));
            QCOMPARE(Trim(f), trimBefore); // nothing written before the confirmation
            f.boxes.boxes.clear();
            d.WriteTrimButton->click();
            QVERIFY(BoxTexts(f.boxes).value(0).startsWith(
                QStringLiteral("В прибор будет записана подстройка: смещение")));
            QCOMPARE(d.stage(), Stage::AsLeft);
            const olv::calibration::Trim proposed = d.proposal().proposed;
            const std::array<uint16_t, 4> words = olv::calibration::TrimWords(proposed);
            QCOMPARE(Trim(f), std::to_string(words[0]) + " " + std::to_string(words[1]) + " " +
                                  std::to_string(words[2]) + " " + std::to_string(words[3]));
            QCOMPARE(Stored(f, false), untouched); // only registers 59..62
            // The sensor page shows the trim the instrument now holds.
            QCOMPARE(f->Edit7->text().trimmed(), olv::calibration::ValueText(proposed.multiplier));

            QVERIFY(TakeTable(f, d));
            QCOMPARE(Column(d.ResultsTable, 7), QStringList(5, QStringLiteral("годен")));
            d.NextButton->click();
            QCOMPARE(d.stage(), Stage::Certificate);
            QVERIFY2(d.SummaryLabel->text().contains(QStringLiteral("прибор годен")),
                     qPrintable(d.SummaryLabel->text()));
            f.boxes.boxes.clear();
            d.SaveButton->click();
            QVERIFY(!d.certificatePath().isEmpty());
            QCOMPARE(QFileInfo(d.certificatePath()).dir().dirName(), QStringLiteral("certificates"));
            QVERIFY(QFile::exists(QString(d.certificatePath()).replace(".pdf", ".csv")));
            driven = true;
        };
        f->calibration().N13Click();
        QVERIFY(driven);
        QVERIFY(f->calibration().calibrationDialog == nullptr);

        // The journal: the trim's write with what the instrument holds, then the calibration.
        const std::vector<QStringList> journal = olv::records::ReadJournal(f->journal().JournalPath());
        QCOMPARE(journal.size(), size_t(2));
        QCOMPARE(journal[1].value(6), QStringLiteral("Запись подстройки (калибровка)"));
        QCOMPARE(journal[1].value(7), QStringLiteral("записано"));
        QCOMPARE(journal[1].value(8), QStringLiteral("Подстройка: смещение"));
        QCOMPARE(journal[0].value(6), QStringLiteral("Калибровка"));
        QVERIFY2(journal[0].value(7).startsWith(QStringLiteral("до подстройки не годен")),
                 qPrintable(journal[0].value(7)));
        QVERIFY(journal[0].value(7).contains(QStringLiteral("после подстройки годен")));

        const QDir certificates(f.dir().filePath("certificates"));
        const QStringList pdfs = certificates.entryList({"*.pdf"});
        QCOMPARE(pdfs.size(), 1);
        const QString text = PdfText(certificates.filePath(pdfs[0]));
        for (const char* expected :
             {"Сертификат о калибровке", "Проверка до подстройки", "подстройка по двум точкам",
              "Проверка после подстройки", "Прибор годен.", "Иванов И. И.", "Страница 1 из"})
            QVERIFY2(text.contains(QString::fromUtf8(expected)), expected);

        // The commissioning record now names the calibration and the visit's trim write.
        f->chooseProfileFile = [&](QFileDialog*, QString& name, bool& first) {
            name = f.dir().filePath("rec.pdf");
            first = true;
            return true;
        };
        f->record().askRecordDetails = [](olv::records::RecordData& data) {
            data.site = {QStringLiteral("Котельная 2"), QStringLiteral("PT-101")};
            return true;
        };
        f->record().N7Click();
        const QString record = PdfText(f.dir().filePath("rec.pdf"));
        for (const char* expected :
             {"Протокол настройки № ПН-", "Котельная 2", "PT-101", "Запись подстройки",
              "Последняя калибровка", "до подстройки не годен", "Иванов И. И.", "Страница 1 из"})
            QVERIFY2(record.contains(QString::fromUtf8(expected)), expected);
    }

    void refusedReferencesSilentAndUnsettledMetersAndAMissingReferenceMeter() {
        SimFormFixture f(Bench());
        QVERIFY(f.started());
        f.settle();
        olv::test::StopTimers(*f);
        const auto stored = Stored(f);
        bool driven = false;
        f->calibration().runCalibrationDialog = [&](CalibrationDialog& d) {
            Prepare(d);
            // Settings that are no numbers, or numbers no check can take, start nothing.
            const QString points = d.PointsEdit->text();
            for (const char* bad : {"0; nan", "0; inf", "0; 1e308", "0; 0", "abc", ""}) {
                f.boxes.boxes.clear();
                d.PointsEdit->setText(QString::fromLatin1(bad));
                d.StartButton->click();
                QVERIFY2(d.stage() == Stage::Setup && f.boxes.boxes.size() == 1, bad);
            }
            d.PointsEdit->setText(points);
            for (const char* bad : {"nan", "-1e38", "1e400"}) {
                d.AmbientEdit->setText(QString::fromLatin1(bad));
                d.StartButton->click();
                QVERIFY2(d.stage() == Stage::Setup, bad);
            }
            d.AmbientEdit->clear();
            f.boxes.boxes.clear();
            // The reference meter at the meter's own address, or where nobody answers.
            d.ReferenceModeBox->setCurrentIndex(1);
            d.ReferenceAddressBox->setValue(1);
            d.StartButton->click();
            QCOMPARE(d.stage(), Stage::Setup);
            d.ReferenceAddressBox->setValue(5);
            d.StartButton->click();
            QCOMPARE(d.stage(), Stage::Setup);
            QCOMPARE(BoxTexts(f.boxes).value(1), QStringLiteral("Эталонный прибор по адресу 5 не отвечает."));
            QVERIFY(!BoxTexts(f.boxes).value(0).isEmpty());

            // Typed references: no number, out of range by more than 10 % of the span, NaN, huge.
            d.ReferenceModeBox->setCurrentIndex(0);
            d.TimeoutBox->setValue(15);
            d.StartButton->click();
            QCOMPARE(d.stage(), Stage::AsFound);
            Apply(f, 0);
            d.AppliedButton->click();
            QCOMPARE(PollUntilMeasured(d), RunState::Settled);
            for (const char* bad : {"abc", "-0.2", "nan", "1e39", ""}) {
                f.boxes.boxes.clear();
                d.ReferenceEdit->setText(QString::fromLatin1(bad));
                d.AcceptButton->click();
                QCOMPARE(d.run()->results().size(), size_t(0));
                QVERIFY2(BoxTexts(f.boxes).value(0).startsWith(QStringLiteral("Значение эталона")), bad);
            }
            d.ReferenceEdit->setText(QStringLiteral("0,000")); // the comma taken as the decimal point
            d.AcceptButton->click();
            QCOMPARE(d.run()->results().size(), size_t(1));

            // A meter that stops answering: the run pauses with the reading marked old, and goes on.
            Apply(f, 0.4);
            d.AppliedButton->click();
            d.Poll();
            f.sim.command("fault noreply on");
            d.Poll();
            QCOMPARE(d.run()->state(), RunState::Paused);
            QVERIFY(!d.StaleLabel->isHidden());
            QVERIFY2(d.StaleLabel->text().startsWith(QStringLiteral("нет связи")),
                     qPrintable(d.StaleLabel->text()));
            QVERIFY(!d.AcceptButton->isEnabled());
            f.sim.command("fault noreply off");
            d.Poll();
            QCOMPARE(d.run()->state(), RunState::Settling);
            QVERIFY(d.StaleLabel->isHidden());
            QCOMPARE(PollUntilMeasured(d), RunState::Settled);
            d.SkipButton->click(); // given up: recorded as skipped
            QCOMPARE(d.ResultsTable->item(1, 7)->text(), QStringLiteral("пропущена"));

            // A meter that never settles: a clear message after the time-out, the point not accepted.
            f.sim.command("sensor-error zero=0.5,gain=1,noise=3,seed=2");
            Apply(f, 0.8);
            d.AppliedButton->click();
            QCOMPARE(PollUntilMeasured(d), RunState::TimedOut);
            QVERIFY2(d.MessageLabel->text().contains(QStringLiteral("не установились за 15 с")),
                     qPrintable(d.MessageLabel->text()));
            QVERIFY(!d.AcceptButton->isEnabled());
            d.ReferenceEdit->setText(QStringLiteral("0.8"));
            d.AcceptButton->click();
            QCOMPARE(d.run()->results().size(), size_t(2));
            d.reject(); // nothing written: no question
            driven = true;
        };
        f->calibration().N13Click();
        QVERIFY(driven);
        QCOMPARE(Stored(f), stored);
        QVERIFY(!QFile::exists(f->journal().JournalPath()));
    }

    void refusedTrimWriteShowsWhatTheMeterHoldsAndCancelWritesTheOldTrimBack() {
        SimFormFixture f(Bench());
        QVERIFY(f.started());
        f.settle();
        olv::test::StopTimers(*f);
        const std::string trimBefore = Trim(f);
        bool driven = false;
        f->calibration().runCalibrationDialog = [&](CalibrationDialog& d) {
            Prepare(d);
            d.PointsEdit->setText(QStringLiteral("0; 1.6"));
            d.StartButton->click();
            QVERIFY(TakeTable(f, d));
            d.NextButton->click();
            QVERIFY(d.proposal().ok);

            // The instrument refuses the write (its parity is the last read before it).
            f->master.setObserver([&](const olv::link::ExchangeRecord& exchange) {
                if (exchange.requestLength > 3 && exchange.request[1] == 3 && exchange.request[2] == 0x04 &&
                    exchange.request[3] == 0x0A)
                    f.sim.command("fault exception 4 once");
            });
            d.WriteTrimButton->click();
            f->master.setObserver({});
            QCOMPARE(d.stage(), Stage::Trim);
            QCOMPARE(Trim(f), trimBefore);
            QVERIFY2(d.ProposalLabel->text().contains(
                         QStringLiteral("Записано: смещение 0.0000, множитель 1.0000")),
                     qPrintable(d.ProposalLabel->text()));

            // Written the second time; Cancel then offers the old trim, and writes it back.
            d.WriteTrimButton->click();
            QCOMPARE(d.stage(), Stage::AsLeft);
            QVERIFY(Trim(f) != trimBefore);
            f.boxes.boxes.clear();
            f.boxes.answers = {BoxAnswer::Yes};
            d.CancelButton->click();
            QVERIFY2(BoxTexts(f.boxes).value(0).contains(
                         QStringLiteral("До калибровки было: смещение 0.0000, "
                                        "множитель 1.0000.\nЗаписать прежние значения?")),
                     qPrintable(BoxTexts(f.boxes).value(0)));
            QCOMPARE(BoxTexts(f.boxes).value(1), QStringLiteral("Подстройка записана."));
            driven = true;
        };
        f->calibration().N13Click();
        QVERIFY(driven);
        QCOMPARE(Trim(f), trimBefore);
        const std::vector<QStringList> journal = olv::records::ReadJournal(f->journal().JournalPath());
        QCOMPARE(journal.size(), size_t(3));
        QVERIFY2(journal[2].value(7).startsWith(QStringLiteral("исключение 4")),
                 qPrintable(journal[2].value(7)));
        QVERIFY2(journal[2].value(7).endsWith(QStringLiteral("ничего не записано")),
                 qPrintable(journal[2].value(7)));
        QCOMPARE(journal[2].size(), 8); // the instrument holds what it held: no field changed
        QCOMPARE(journal[0].value(6), QStringLiteral("Возврат подстройки (калибровка отменена)"));
    }
};

OLV_UI_TEST_MAIN(CalibrationTest)
#include "calibration_test.moc"
