#include "device/instrument_identity.h"

#include <gtest/gtest.h>

namespace olv::test {
namespace {

using namespace olv::device;

InstrumentIdentity Meter(int port, int address, const char* path = "/dev/ttyUSB0",
                         std::optional<int32_t> serial = std::nullopt, std::optional<uint16_t> model = 150) {
    InstrumentIdentity id{port, address, QString::fromLatin1(path)};
    id.serial = serial;
    if (serial) id.model = model;
    return id;
}

struct ChangeCase {
    const char* name;
    InstrumentIdentity a;
    InstrumentIdentity b;
    IdentityChange change;
};

class IdentityChangeTest : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(IdentityChangeTest, TellsWhyTwoIdentitiesAreNotOneInstrument) {
    const ChangeCase& c = GetParam();
    EXPECT_EQ(ChangeBetween(c.a, c.b), c.change);
    EXPECT_EQ(ChangeBetween(c.b, c.a), c.change); // whichever is the old one
    EXPECT_EQ(SameInstrument(c.a, c.b), c.change == IdentityChange::None);
}

INSTANTIATE_TEST_SUITE_P(
    Identities, IdentityChangeTest,
    ::testing::Values(
        ChangeCase{"Same", Meter(1, 1), Meter(1, 1), IdentityChange::None},
        // A serial number read on one side only is no other instrument: it was learned.
        ChangeCase{"SerialLearned", Meter(1, 1), Meter(1, 1, "/dev/ttyUSB0", 123456), IdentityChange::None},
        ChangeCase{"SameSerial", Meter(1, 1, "/dev/ttyUSB0", 123456), Meter(1, 1, "/dev/ttyUSB0", 123456),
                   IdentityChange::None},
        ChangeCase{"OtherSerial", Meter(1, 1, "/dev/ttyUSB0", 123456), Meter(1, 1, "/dev/ttyUSB0", 654321),
                   IdentityChange::Serial},
        ChangeCase{"OtherModelSameSerial", Meter(1, 1, "/dev/ttyUSB0", 1, 150), Meter(1, 1, "/dev/ttyUSB0", 1, 151),
                   IdentityChange::Serial},
        ChangeCase{"OtherAddress", Meter(1, 1), Meter(1, 2), IdentityChange::Address},
        // The address is looked at before the serial number: the reason the user changed.
        ChangeCase{"OtherAddressAndSerial", Meter(1, 1, "/dev/ttyUSB0", 1), Meter(1, 2, "/dev/ttyUSB0", 2),
                   IdentityChange::Address},
        ChangeCase{"OtherComNumber", Meter(1, 1), Meter(2, 1), IdentityChange::Port},
        // COM1 assigned to a gateway now: the same number leads to another line.
        ChangeCase{"ComNumberLeadsElsewhere", Meter(1, 1), Meter(1, 1, "tcp://10.0.0.5:502"), IdentityChange::Port},
        ChangeCase{"PathUnknownOnOneSide", Meter(1, 1, ""), Meter(1, 1), IdentityChange::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShownInstrument, KeepsWhatItLearnedUntilTheLinkAddressesAnotherInstrument) {
    ShownInstrument shown;
    EXPECT_EQ(shown.address(1, "/dev/ttyUSB0", 1), IdentityChange::Port); // from no port to COM1
    EXPECT_EQ(shown.identified(150, 123456), IdentityChange::None);          // first read: learned
    ASSERT_TRUE(shown.current().serial);
    EXPECT_EQ(*shown.current().serial, 123456);

    // The same port and address chosen again (the link row refilled): still the instrument read.
    EXPECT_EQ(shown.address(1, "/dev/ttyUSB0", 1), IdentityChange::None);
    EXPECT_EQ(shown.current().serial, std::optional<int32_t>(123456));

    // Another address: nothing of the old one is taken for the new one's.
    EXPECT_EQ(shown.address(1, "/dev/ttyUSB0", 2), IdentityChange::Address);
    EXPECT_FALSE(shown.current().serial);
    EXPECT_FALSE(shown.current().model);
    EXPECT_EQ(shown.identified(150, 777), IdentityChange::None);

    // The meter at address 2 was swapped: the next read returns another serial number.
    EXPECT_EQ(shown.identified(150, 778), IdentityChange::Serial);
    EXPECT_EQ(shown.current().serial, std::optional<int32_t>(778));

    EXPECT_EQ(shown.address(1, "tcp://gw:502", 2), IdentityChange::Port);
    EXPECT_FALSE(shown.current().serial);
}

TEST(IdentityText, NamesAddressPortAndSerialOnceKnown) {
    EXPECT_EQ(IdentityText(Meter(1, 5)), QStringLiteral("прибор 5, COM1"));
    EXPECT_EQ(IdentityText(Meter(3, 0, "", -1)), QStringLiteral("прибор 0, COM3, зав. № -1"));
    EXPECT_EQ(LastReadNote(Meter(1, 1), QDateTime(QDate(2026, 1, 2), QTime(10, 42, 59))),
              QStringLiteral("прибор 1, COM1 — прочитано 10:42"));
}

TEST(WithImageIdentity, TakesModelAndTheSerialNumberHighHalfFirst) {
    RegisterImage image;
    image.words[reg::Model] = 150;
    image.words[reg::SerialHigh] = 0x8000;
    image.words[reg::SerialLow] = 0x0001;
    const InstrumentIdentity id = WithImageIdentity(Meter(1, 1), image);
    EXPECT_EQ(id.model, std::optional<uint16_t>(150));
    EXPECT_EQ(id.serial, std::optional<int32_t>(INT32_MIN + 1)); // signed, as the sensor page shows it
}

} // namespace
} // namespace olv::test
