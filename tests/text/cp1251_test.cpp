#include "text/cp1251.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <gtest/gtest.h>

namespace olv::text {
namespace {

// The code page's own table against the platform's converter, byte by byte and character by
// character, where the platform has one.
TEST(Cp1251, EveryByteAndEveryCharacterAsThePlatformConverter) {
    QStringDecoder decoder("windows-1251");
    if (!decoder.isValid()) GTEST_SKIP() << "this Qt has no windows-1251 converter";
    for (int b = 0; b < 256; ++b) {
        const QByteArray byte(1, char(b));
        QStringDecoder one("windows-1251");
        ASSERT_EQ(FromCp1251(byte), one(byte)) << "byte " << b;
    }
    int mismatches = 0;
    for (char32_t cp = 1; cp < 0x110000; ++cp) {
        // The platform's converter drops a byte-order mark, or not, depending on what surrounds it;
        // here it is a character without a byte like any other.
        if ((cp >= 0xD800 && cp < 0xE000) || cp == 0xFEFF) continue;
        const QString ch = QString::fromUcs4(&cp, 1);
        QStringEncoder encoder("windows-1251");
        const QByteArray expected = encoder(ch);
        const QByteArray want = (encoder.hasError() || expected.size() != 1) ? QByteArray("?") : expected;
        if (ToCp1251(ch) != want && ++mismatches < 10) ADD_FAILURE() << "U+" << std::hex << unsigned(cp);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Cp1251, RoundTripOfEveryByteAndOneQuestionMarkPerForeignCharacter) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(ToCp1251(FromCp1251(all)), all);

    EXPECT_EQ(ToCp1251(QStringLiteral("Давление, кгс/см²")), QByteArray("\xC4\xE0\xE2\xEB\xE5\xED\xE8\xE5, "
                                                                        "\xEA\xE3\xF1/\xF1\xEC?"));
    EXPECT_EQ(ToCp1251(QStringLiteral("№ €")), QByteArray("\xB9 \x88"));
    // A character beyond the basic plane is one '?', not two; so is each lone half of a pair.
    EXPECT_EQ(ToCp1251(QString::fromUtf8("a\xF0\x9F\x98\x80"
                                         "b")),
              QByteArray("a?b"));
    const QChar loneHigh(char16_t(0xD83D)), loneLow(char16_t(0xDE00));
    EXPECT_EQ(ToCp1251(QString(loneHigh) + 'x' + loneLow), QByteArray("?x?"));
    EXPECT_EQ(ToCp1251(QString(loneHigh)), QByteArray("?"));
    EXPECT_TRUE(ToCp1251(QString()).isEmpty());
    EXPECT_TRUE(FromCp1251(QByteArray()).isEmpty());
    // NUL stays a byte; the callers decide what a NUL means.
    EXPECT_EQ(ToCp1251(QString(QChar(0))), QByteArray(1, '\0'));
    EXPECT_EQ(ToCp1251(QString(QChar(0xFEFF))), QByteArray("?"));
}

} // namespace
} // namespace olv::text
