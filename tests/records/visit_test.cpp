// What the commissioning record quotes besides the instrument: its site and tag kept per serial number,
// the journal's changes of the visit, the last calibration, the number, the person and the date.

#include "device/encodings.h"
#include "device/register_map.h"
#include "records/commissioning_record.h"
#include "records/journal.h"
#include "records/visit.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace olv::records;

namespace {

QStringList Line(const QString& when, const QString& serial, const QString& operation,
                 const QStringList& changes = {}) {
    return QStringList{when, "COM1", "/dev/ttyUSB0", "1", "150", serial, operation, "записано"} + changes;
}

// Newest first, as ReadJournal gives them.
const std::vector<QStringList> Journal{
    Line("2026-03-02 16:40:00", "111111", "Калибровка"),
    Line("2026-03-02 11:00:00", "1111112", "Запись конфигурации", {"Модель", "150", "151"}),
    Line("2026-03-02 10:30:00", "111111", "Запись подстройки",
         {"Подстройка: смещение", "0.0100", "-0.0079", "Подстройка: диапазон", "0.9800", "0.9901"}),
    Line("2026-03-01 23:59:59", "111111", "Запись конфигурации", {"Модель", "149", "150"}),
    Line("2026-02-20 09:00:00", "111111", "Калибровка"),
};

RecordData Sample() {
    RecordData data;
    data.caption = "Mod Bus OLV 1.1.3.1";
    data.printedAt = QDateTime(QDate(2026, 3, 2), QTime(17, 5, 0));
    data.port = "COM1";
    data.devicePath = "/dev/ttyUSB0";
    data.address = 1;
    auto& w = data.state.image.words;
    w[olv::device::reg::SerialLow] = 0xB207; // 45575
    olv::device::FloatToWords(1.6f, w[olv::device::reg::RangeMax], w[olv::device::reg::RangeMax + 1]);
    olv::device::FloatToWords(0.01f, w[olv::device::reg::TrimOffset], w[olv::device::reg::TrimOffset + 1]);
    olv::device::FloatToWords(1.0f, w[olv::device::reg::TrimMultiplier],
                              w[olv::device::reg::TrimMultiplier + 1]);
    w[olv::device::reg::DampingUnits] = 0x0202; // kPa
    w[olv::device::reg::AddressBaud] = 0x0104;
    data.documentNumber = DocumentNumber("ПН", "45575", data.printedAt);
    data.site = {"Котельная <2>", "PT-101 & PT-102"};
    data.person = "Петров П. <b>";
    data.visit = VisitChanges(Journal, "111111", data.printedAt.date());
    data.lastCalibration = LastCalibration(Journal, "111111");
    return data;
}

} // namespace

TEST(VisitChanges, AreTheLinesOfThisSerialNumberOnThatDayOldestFirst) {
    const std::vector<JournalChange> visit = VisitChanges(Journal, "111111", QDate(2026, 3, 2));
    ASSERT_EQ(visit.size(), 2u); // not the other meter whose number contains this one, nor yesterday
    EXPECT_EQ(visit[0].when, "2026-03-02 10:30:00");
    EXPECT_EQ(visit[0].changes, (QStringList{"Подстройка: смещение: 0.0100 → -0.0079",
                                             "Подстройка: диапазон: 0.9800 → 0.9901"}));
    EXPECT_EQ(visit[1].operation, "Калибровка");
    EXPECT_TRUE(VisitChanges(Journal, "111111", QDate(2026, 3, 3)).empty());
    // A line cut short (a journal edited by hand) gives what it has, an unpaired field is left out.
    const std::vector<QStringList> ragged{{"2026-03-02 10:00:00", "", "", "", "", "7", "Запись", "x", "Поле"},
                                          {"2026-03-02"}};
    const std::vector<JournalChange> cut = VisitChanges(ragged, "7", QDate(2026, 3, 2));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_TRUE(cut[0].changes.isEmpty());
}

TEST(VisitChanges, TheLastCalibrationIsTheNewestOfThisSerialNumber) {
    const std::optional<JournalChange> last = LastCalibration(Journal, "111111");
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->when, "2026-03-02 16:40:00");
    EXPECT_FALSE(LastCalibration(Journal, "1111112").has_value());
    EXPECT_FALSE(LastCalibration({}, "111111").has_value());
}

TEST(InstrumentSite, IsKeptPerSerialNumberAndComesBackAsTypedWhateverItHolds) {
    olv::settings::IniSnapshot file(QByteArray("[COM_SETTINGS]\r\nNumber=1\r\n"));
    QRandomGenerator random(34);
    std::vector<std::pair<QString, InstrumentSite>> kept;
    for (int i = 0; i < 50; ++i) {
        QString site, tag;
        for (int k = random.bounded(0, 80); k > 0; --k)
            site += QChar(u"абвгдАБВ xyz;=[]#'\"019-"[random.bounded(0, 23)]);
        for (int k = random.bounded(0, 12); k > 0; --k)
            tag += QChar(u"PT-_0123456789"[random.bounded(0, 14)]);
        const QString serial = QString::number(random.bounded(-5, 5) * 1000003);
        for (const olv::settings::IniEntry& entry : InstrumentSiteEntries(serial, {site, tag}))
            file.write(entry);
        std::erase_if(kept, [&](const auto& k) { return k.first == serial; });
        kept.push_back({serial, {site.simplified(), tag.simplified()}});
    }
    for (const auto& [serial, site] : kept)
        EXPECT_EQ(LoadInstrumentSite(file, serial), site) << serial.toStdString();
    // A line break typed into a field cannot add a line of its own to the settings.
    for (const olv::settings::IniEntry& entry :
         InstrumentSiteEntries("9", {"a\r\n[PORTS]\r\nCOM1=/dev/x", "t"}))
        file.write(entry);
    EXPECT_EQ(LoadInstrumentSite(file, "9").site, "a [PORTS] COM1=/dev/x");
    EXPECT_EQ(file.readString("PORTS", "COM1", "none"), "none");
    EXPECT_EQ(LoadInstrumentSite(file, "404"), InstrumentSite{});
    file.write(PersonEntry("  Иванов  И. И. "));
    EXPECT_EQ(LoadPerson(file), "Иванов И. И.");
}

TEST(CommissioningRecord, StatesWhatAnAuditorAsksForWithUnitsAndEscapedTexts) {
    const QString html = RecordHtml(Sample(), QString(), QSize());
    for (const char* text :
         {"Протокол настройки № ПН-45575-20260302-170500", "Котельная &lt;2&gt;", "PT-101 &amp; PT-102",
          "<td>1.6000 кПа</td>", "<td>0.0100 кПа</td>",
          "<td>1.0000</td>", // the trim multiplier has no units
          "19200 бит/с", "Подстройка: смещение: 0.0100 → -0.0079", "2026-03-02 16:40:00: записано",
          "Наладчик: Петров П. &lt;b&gt;", "Дата: 02.03.2026"})
        EXPECT_TRUE(html.contains(QString::fromUtf8(text))) << text;
    EXPECT_FALSE(html.contains("<b>"));

    RecordData bare = Sample();
    bare.site = {};
    bare.person.clear();
    bare.documentNumber.clear();
    bare.visit.clear();
    bare.lastCalibration.reset();
    const QString plain = RecordHtml(bare, QString(), QSize());
    for (const char* text : {"<h2>Протокол настройки</h2>", "<td>не указано</td>", "записей нет",
                             "нет сведений", "Наладчик: ______"})
        EXPECT_TRUE(plain.contains(QString::fromUtf8(text))) << text;
}
