// What a page write leaves in the journal and shows before it: the read-back's values, never the ones
// meant; the confirmation's old → new rows; a configuration file into a replacement; the file save.
#include "records/page_write_record.h"

#include "device/encodings.h"
#include "device/register_map.h"
#include "tests/support/fake_master.h"
#include "tests/support/file_size_limit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace olv::test {
namespace {

using namespace olv::records;
using namespace olv::device;

// The simulator's meter as a state: range 0 … 1.6 МПа, trim 0 / 1, address 1 at 19200, even parity.
InstrumentState Meter() {
    InstrumentState state;
    auto& w = state.image.words;
    w[reg::Model] = 150;
    w[reg::ModelCode] = 2;
    w[reg::SerialHigh] = 1;
    w[reg::SerialLow] = 57920; // 123456
    w[reg::Date] = 0x0F37;
    w[reg::AddressBaud] = 0x0104;
    w[reg::DampingUnits] = 0x0201;
    w[reg::SensorUnits] = 1;
    FloatToWords(1.6f, w[reg::RangeMax], w[reg::RangeMax + 1]);
    FloatToWords(0.0f, w[reg::RangeMin], w[reg::RangeMin + 1]);
    FloatToWords(0.0f, w[reg::TrimOffset], w[reg::TrimOffset + 1]);
    FloatToWords(1.0f, w[reg::TrimMultiplier], w[reg::TrimMultiplier + 1]);
    TextToWords(QStringLiteral("Датчик давления"), w.data() + reg::Text);
    state.parity = 2;
    return state;
}

void Load(FakeMaster& master, const InstrumentState& state) {
    for (int r = 0; r < reg::ImageSize; ++r) master.reg(r) = state.image.words[static_cast<size_t>(r)];
    master.reg(1034) = state.parity;
}

void SetFloat(InstrumentState& state, int first, float value) {
    FloatToWords(value, state.image.words[static_cast<size_t>(first)], state.image.words[static_cast<size_t>(first) + 1]);
}

std::vector<std::string> Changes(const JournalEntry& entry) {
    std::vector<std::string> rows;
    for (const FieldChange& c : entry.changes)
        rows.push_back((c.name + ": " + c.oldValue + " → " + c.newValue).toStdString());
    return rows;
}

struct NoFollow : DeviceLinkSteps {
    void byteOrderWritten() override {}
    void addressBaudWritten() override {}
    void parityWritten() override {}
};

const WriteTarget Target{{1, 2}, QStringLiteral("/dev/pts/3")};

TEST(JournalEntryOf, NewValuesAreWhatTheInstrumentReadsBack) {
    const InstrumentState before = Meter();
    FakeMaster master;
    Load(master, before);
    InstrumentState page = before;
    SetFloat(page, reg::RangeMax, 2.5f);
    SetFloat(page, reg::TrimOffset, 0.0125f);
    // The meter keeps its range maximum at 2.4 whatever it is sent.
    master.onTransaction = [&](const FakeTransaction& t) {
        if (t.function == FakeMaster::ReadFunction && t.start == reg::RangeMax)
            FloatToWords(2.4f, master.reg(reg::RangeMax), master.reg(reg::RangeMax + 1));
    };
    const PageWriteResult result = WriteSensorConfiguration(master, page.image, before.image, WordMasks{}, {});
    const JournalEntry entry = JournalEntryOf(QDateTime(QDate(2026, 3, 2), QTime(10, 0)), Target, before,
                                              QStringLiteral("Запись конфигурации"), result);
    EXPECT_EQ(Changes(entry), (std::vector<std::string>{"Максимум диапазона: 1.6000 → 2.4000",
                                                        "Подстройка: смещение: 0.0000 → 0.0125"}));
    EXPECT_EQ(entry.outcome, QStringLiteral("прибор возвращает иные значения: Максимум диапазона; записаны регистры "
                                            "0–5, 9–11, 36–43, 44–47, 48–55, 58–62"));
    EXPECT_EQ(MismatchedFields(before, result), QStringList{"Максимум диапазона"});
    EXPECT_EQ(entry.port, QStringLiteral("COM1"));
    EXPECT_EQ(entry.address, 2);
    EXPECT_EQ(entry.serial, QStringLiteral("123456"));
    EXPECT_EQ(StateAfterWrite(before, result).image.words[reg::RangeMax], master.reg(reg::RangeMax));
    EXPECT_EQ(StateMeant(before, result).image.words[reg::RangeMax], page.image.words[reg::RangeMax]);
}

// Silent after the third block: the first two read back unknown but acknowledged, the third unknown;
// the journal keeps what was sent apart from what was read.
TEST(JournalEntryOf, SentButNotReadBackIsNotShownAsTheNewValue) {
    const InstrumentState before = Meter();
    FakeMaster master;
    Load(master, before);
    InstrumentState page = before;
    page.image.words[reg::Model] = 151;
    SetFloat(page, reg::RangeMax, 2.5f);
    master.onTransaction = [&](const FakeTransaction&) {
        if (master.transactions.size() >= 2) master.failTransaction(master.transactions.size());
    };
    const PageWriteResult result = WriteSensorConfiguration(master, page.image, before.image, WordMasks{}, {});
    const JournalEntry entry = JournalEntryOf({}, Target, before, QStringLiteral("Запись конфигурации"), result);
    EXPECT_EQ(entry.outcome, QStringLiteral("нет ответа; записаны регистры 0–5, 9–11"));
    EXPECT_EQ(Changes(entry), (std::vector<std::string>{"Модель: 150 → не прочитано (отправлено 151)",
                                                        "Максимум диапазона: 1.6000 → не прочитано (отправлено 2.5000)"}));
}

// The journal's line has the floats with a decimal comma, as a spreadsheet in Russian reads numbers;
// texts with digits (serial number, address, date, a value not read back) go in as they are, and so
// do the floats of extreme values that are no decimal number. A journal of lines written with the
// point reads and filters as before, beside the new lines.
TEST(JournalLine, FloatsWithADecimalCommaTextsAsTheyAre) {
    const InstrumentState before = Meter();
    FakeMaster master;
    Load(master, before);
    InstrumentState page = before;
    SetFloat(page, reg::RangeMax, 2.5f);
    SetFloat(page, reg::RangeMin, -0.1f);
    page.image.words[reg::Date] = 0x1237;
    page.image.words[reg::Model] = 151;
    const PageWriteResult result = WriteSensorConfiguration(master, page.image, before.image, WordMasks{}, {});
    JournalEntry entry = JournalEntryOf(QDateTime(QDate(2026, 3, 2), QTime(10, 0, 5)), Target, before,
                                        QStringLiteral("Запись конфигурации"), result);
    const QStringList fields = ParseJournalLine(JournalLine(entry));
    EXPECT_EQ(fields.mid(0, 6), (QStringList{"2026-03-02 10:00:05", "COM1", "/dev/pts/3", "2", "150", "123456"}));
    EXPECT_EQ(fields.mid(8), (QStringList{"Модель", "150", "151", "Максимум диапазона", "1,6000", "2,5000",
                                          "Минимум диапазона", "0,0000", "-0,1000", "Дата выпуска", "15.03.2007",
                                          "18.03.2007"}));
    EXPECT_EQ(entry.changes[1].newValue, QStringLiteral("2.5000")); // the window's own texts keep the point

    // Values of float fields that are no decimal number, and floats apart beyond four decimals.
    entry.changes = {{"Максимум диапазона", "nan", "не прочитано (отправлено 2.5000)", true},
                     {"Подстройка: диапазон", "1.0001235", "1.5e-05", true},
                     {"Подстройка: смещение", "-inf", "340282346638528859811704183484516925440.0000", true},
                     {"Текст, хранящийся в приборе", "«1.5»", "1.5"}};
    EXPECT_EQ(ParseJournalLine(JournalLine(entry)).mid(8),
              (QStringList{"Максимум диапазона", "nan", "не прочитано (отправлено 2.5000)", "Подстройка: диапазон",
                           "1,0001235", "1,5e-05", "Подстройка: смещение", "-inf",
                           "340282346638528859811704183484516925440,0000", "Текст, хранящийся в приборе", "«1.5»",
                           "1.5"}));

    const QTemporaryDir dir;
    const QString path = dir.filePath("journal.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xEF\xBB\xBF" + JournalHeader() +
               "2024-05-06 07:08:09;COM1;/dev/pts/3;2;150;123456;Запись конфигурации;записано;"
               "Максимум диапазона;1.6000;2.5000\r\n");
    file.close();
    entry.serial = QStringLiteral("654321");
    QString reason;
    ASSERT_TRUE(AppendJournal(path, entry, reason)) << reason.toStdString();
    const std::vector<QStringList> all = ReadJournal(path);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].mid(8), (QStringList{"Максимум диапазона", "1.6000", "2.5000"}));
    EXPECT_EQ(all[0].value(13), QStringLiteral("1,5e-05"));
    const std::vector<QStringList> old = ReadJournal(path, QStringLiteral("123"));
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0], all[1]);
}

TEST(JournalOutcome, CancelAndAFailedReadBackSaySo) {
    const InstrumentState before = Meter();
    FakeMaster master;
    Load(master, before);
    WriteHooks hooks;
    int done = 0;
    hooks.progress = [&](int d, int) { done = d; };
    hooks.cancelled = [&] { return done == 1; };
    PageWriteResult result = WriteSensorConfiguration(master, before.image, before.image, WordMasks{}, hooks);
    EXPECT_EQ(JournalOutcome(before, result), QStringLiteral("прервано; записаны регистры 0–5"));

    master.failStart(FakeMaster::ReadFunction, 0);
    result = WriteSensorConfiguration(master, before.image, before.image, WordMasks{}, {});
    EXPECT_EQ(JournalOutcome(before, result), QStringLiteral("записано без проверки: нет ответа"));
}

TEST(ConfirmationRows, OldToNewOfTheChangedFieldsOfTheGroups) {
    const InstrumentState now = Meter();
    InstrumentState meant = now;
    SetFloat(meant, reg::RangeMin, -0.1f);
    meant.image.words[reg::Model] = 151;
    meant.image.words[reg::AddressBaud] = 0x1105; // not of the groups asked for
    EXPECT_EQ(ConfirmationRows(&now, meant, SensorFields | IdentityFields),
              (QStringList{"Модель: 150 → 151", "Минимум диапазона: 0.0000 → -0.1000"}));
    EXPECT_EQ(ConfirmationRows(&now, now, AllFields), QStringList{"Значения в приборе не меняются."});
    // Nothing of the instrument known: every field of the groups with what it will be.
    EXPECT_EQ(ConfirmationRows(nullptr, meant, TextFields), QStringList{"Текст, хранящийся в приборе: ? → «Датчик давления »"});
}

TEST(LinkConfirmationRows, WhatChangesAndWhereTheMeterAnswersAfterwards) {
    EXPECT_EQ(LinkConfirmationRows({1, 4, 2, 0}, {17, 5, 1, 0}),
              (QStringList{"Сетевой номер: 1 → 17", "Скорость обмена: 19200 → 38400", "Паритет: Четный → Нечетный",
                           "После записи прибор будет отвечать по адресу 17, на скорости 38400 бит/с, с паритетом "
                           "«Нечетный»."}));
    EXPECT_EQ(LinkConfirmationRows({1, 4, 2, 0}, {1, 4, 2, 3}),
              (QStringList{"Порядок байт в измеренном значении: 0 1 2 3 → 3 2 1 0",
                           "После записи прибор будет отвечать по адресу 1, на скорости 19200 бит/с, с паритетом "
                           "«Четный»."}));
    EXPECT_EQ(LinkAnswersAt({1, 9, 7, 0}), QStringLiteral("по адресу 1, на скорости ? бит/с, с паритетом «код 7»"));
}

// A failed meter's file into a spare: the spare keeps its identity and hidden words, takes the file's
// link values last, and progress counts across both writes.
TEST(WriteConfigFileInto, ConfigurationThenLinkKeepingTheSparesOwnWords) {
    InstrumentState spare = Meter();
    spare.image.words[4] = 0x2004;
    spare.image.words[reg::ByteOrder] = 2;
    FakeMaster master;
    Load(master, spare);

    ConfigFile file;
    file.state = Meter();
    file.state.image.words[reg::SerialLow] = 1;
    file.state.image.words[4] = 0x1004;
    file.state.image.words[reg::AddressBaud] = 0x0705;
    file.state.image.words[reg::ByteOrder] = 1;
    file.state.parity = 0;
    SetFloat(file.state, reg::RangeMax, 2.5f);

    std::vector<int> progress;
    WriteHooks hooks;
    hooks.progress = [&](int done, int total) {
        EXPECT_EQ(total, 10);
        progress.push_back(done);
    };
    NoFollow follow;
    const PageWriteResult result = WriteConfigFileInto(master, file, spare, false, true, follow, hooks);
    EXPECT_TRUE(result.succeeded()) << BlocksText(result).toStdString();
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(master.reg(reg::SerialLow), 57920);
    EXPECT_EQ(master.reg(4), 0x2004);
    EXPECT_EQ(master.reg(reg::AddressBaud), 0x0705);
    EXPECT_EQ(master.reg(reg::ByteOrder), 1);
    EXPECT_EQ(master.reg(1034), 0);
    const InstrumentState after = StateAfterWrite(spare, result);
    EXPECT_EQ(DifferingFields(after, file.state, ConfigFileWriteGroups(false, true)), QStringList{});
    EXPECT_EQ(DifferingFields(after, file.state, IdentityFields), QStringList{"Заводской номер"});
    EXPECT_TRUE(MismatchedFields(spare, result).isEmpty());

    // Without the link the byte order stays the spare's.
    Load(master, spare);
    const PageWriteResult configOnly = WriteConfigFileInto(master, file, spare, false, false, follow, {});
    EXPECT_TRUE(configOnly.succeeded());
    EXPECT_EQ(master.reg(reg::ByteOrder), 2);
    EXPECT_EQ(master.reg(reg::AddressBaud), 0x0104);
}

TEST(ModelMismatch, NamesBothModelCodes) {
    InstrumentState other = Meter();
    other.image.words[reg::ModelCode] = 3;
    EXPECT_EQ(ModelMismatch("/tmp/a.cfg", Meter(), Meter()), QString());
    EXPECT_EQ(ModelMismatch("/tmp/a.cfg", Meter(), other),
              QStringLiteral("В файле /tmp/a.cfg конфигурация прибора с кодом модели 2, а у прибора на линии код "
                             "модели 3. Запись не производится."));
}

TEST(SaveConfiguration, SavesOrSaysWhyNotWithoutThrowing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.cfg");
    const ConfigFile file = ConfigFileOf(Meter(), {{1, 2}, "/dev/pts/3", QDateTime(QDate(2026, 3, 2), QTime(10, 0)),
                                                   "Mod Bus OLV 1.1.3.1"});
    EXPECT_EQ(file.port, QStringLiteral("COM1"));
    EXPECT_EQ(file.address, 2);
    {
        FileSizeLimit limit(100);
        ASSERT_TRUE(limit.ok());
        const SaveOutcome full = SaveConfiguration(path, file);
        EXPECT_FALSE(full.saved);
        EXPECT_EQ(full.text, QStringLiteral("Конфигурация прибора не записана в файл %1.").arg(path));
        EXPECT_FALSE(full.detail.isEmpty());
    }
    const SaveOutcome saved = SaveConfiguration(path, file);
    EXPECT_TRUE(saved.saved);
    EXPECT_EQ(saved.text, QStringLiteral("Конфигурация прибора записана в файл %1.").arg(path));
    QString reason;
    const std::optional<ConfigFile> back = LoadConfigFile(path, reason);
    ASSERT_TRUE(back) << reason.toStdString();
    EXPECT_EQ(back->state.image.words, file.state.image.words);
    EXPECT_EQ(RefusedSaveName(path), QString());

    const QString profile = dir.filePath("p.prf");
    QFile other(profile);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("[COM_SETTINGS]\r\nNumber=1\r\n");
    other.close();
    EXPECT_EQ(RefusedSaveName(profile),
              QStringLiteral("Файл %1 не является файлом конфигурации прибора и не будет перезаписан.").arg(profile));
}

} // namespace
} // namespace olv::test
