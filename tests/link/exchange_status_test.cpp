#include "link/exchange_status.h"

#include <gtest/gtest.h>

using namespace olv::link;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;

namespace {

const QString ExchangeCaption = QStringLiteral("Ошибка в обмене.");
const QString DeviceCaption = QStringLiteral("Устройство сообщает об ошибке");

// What a transaction gives when nothing at all arrives from the instrument at a non-zero address.
constexpr ResultFlags MissingReply = NoReply | WrongLength | WrongFunction | CrcMismatch | WrongAddress;
// At address 0 the zero byte of the empty reply buffer matches the address.
constexpr ResultFlags MissingReplyAtAddressZero = NoReply | WrongLength | WrongFunction | CrcMismatch;
// An exception reply is five bytes long and carries function + 0x80.
constexpr ResultFlags ExceptionFlags = ExceptionReply | WrongLength | WrongFunction;

} // namespace

TEST(ExchangeErrorBox, MissingReplyIsReportedAsWrongLength) {
    auto box = ExchangeErrorBox(MissingReply, 0);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, QStringLiteral("При приеме не принято ожидаемое число символов."));
    EXPECT_EQ(box->caption, ExchangeCaption);
    EXPECT_EQ(box->icon, BoxIcon::Warning);
    EXPECT_EQ(box->buttons, BoxButtons::Ok);
}

TEST(ExchangeErrorBox, ExceptionCodesOneToFourHaveTheirOwnTexts) {
    const char* texts[] = {"Неподдерживаемая функция.", "Адрес данных выходит за допустимые границы.",
                           "Величина данных превышает допустимое значение.",
                           "Ошибка в работе адресуемого устройства."};
    for (uint8_t code = 1; code <= 4; ++code) {
        auto box = ExchangeErrorBox(ExceptionFlags, code);
        ASSERT_TRUE(box) << int(code);
        EXPECT_EQ(box->text, QString::fromUtf8(texts[code - 1])) << int(code);
        EXPECT_EQ(box->caption, DeviceCaption);
        EXPECT_EQ(box->icon, BoxIcon::Warning);
    }
}

TEST(ExchangeErrorBox, OtherExceptionCodesAreNamedInDecimal) {
    EXPECT_EQ(ExchangeErrorBox(ExceptionFlags, 6)->text, QStringLiteral("Ошибка устройства 6"));
    EXPECT_EQ(ExchangeErrorBox(ExceptionFlags, 255)->text, QStringLiteral("Ошибка устройства 255"));
    EXPECT_EQ(ExchangeErrorBox(ExceptionFlags, 0)->text, QStringLiteral("Ошибка устройства 0"));
    EXPECT_EQ(ExchangeErrorBox(ExceptionFlags, 6)->caption, DeviceCaption);
}

TEST(ExchangeErrorBox, EachSingleFlagGivesItsRow) {
    struct Case {
        ResultFlags flags;
        const char* text;
    } cases[] = {
        {ParityError, "При приеме ответа ошибка паритета."},
        {WrongLength, "При приеме не принято ожидаемое число символов."},
        {WrongAddress, "При приеме в ответе указан не адрес того устройства к которому обращались."},
        {CrcMismatch, "При приеме в ответе не сошлась контрольная сумма."},
        {NoReply, "Ответа не было."},
        {WrongFunction, "В ответе указан не тот номер команды."},
    };
    for (const Case& c : cases) {
        auto box = ExchangeErrorBox(c.flags, 0);
        ASSERT_TRUE(box) << int(c.flags);
        EXPECT_EQ(box->text, QString::fromUtf8(c.text)) << int(c.flags);
        EXPECT_EQ(box->caption, ExchangeCaption);
    }
}

TEST(ExchangeErrorBox, PrecedenceFollowsTheTableOrder) {
    // Parity comes before length, length before address, address before checksum, checksum before
    // no reply, no reply before wrong function.
    EXPECT_EQ(ExchangeErrorBox(ParityError | WrongLength, 0)->text,
              QStringLiteral("При приеме ответа ошибка паритета."));
    EXPECT_EQ(ExchangeErrorBox(WrongAddress | CrcMismatch | WrongFunction, 0)->text,
              QStringLiteral("При приеме в ответе указан не адрес того устройства к которому обращались."));
    EXPECT_EQ(ExchangeErrorBox(NoReply | WrongFunction, 0)->text, QStringLiteral("Ответа не было."));
    // An exception reply wins over everything else that comes with it.
    EXPECT_EQ(ExchangeErrorBox(ExceptionFlags | ParityError | CrcMismatch, 3)->caption, DeviceCaption);
}

TEST(ExchangeErrorBox, NothingToReportGivesNoBox) {
    EXPECT_FALSE(ExchangeErrorBox(0, 0));
    // A code without the exception flag matches no row.
    EXPECT_FALSE(ExchangeErrorBox(0, 2));
}

TEST(ExchangeStateText, NormalExchange) {
    ExchangeState state = ExchangeStateText(0, 0);
    EXPECT_TRUE(state.normal);
    EXPECT_EQ(state.text, QStringLiteral("Нормальный обмен"));
}

TEST(ExchangeStateText, MissingReplyListsFiveLinesInOrder) {
    ExchangeState state = ExchangeStateText(MissingReply, 0);
    EXPECT_FALSE(state.normal);
    EXPECT_EQ(state.text, QStringLiteral("Ответа не было. \r\n"
                                         "При приеме не принято ожидаемое число символов. \r\n"
                                         "При приеме в ответе указан адрес не того устройства к которому "
                                         "обращались. \r\n"
                                         "При приеме в ответе не сошлась контрольная сумма. \r\n"
                                         "В ответе указан не тот номер команды. \r\n"));
}

TEST(ExchangeStateText, MissingReplyAtAddressZeroHasNoAddressLine) {
    ExchangeState state = ExchangeStateText(MissingReplyAtAddressZero, 0);
    EXPECT_EQ(state.text.count(QStringLiteral("\r\n")), 4);
    EXPECT_FALSE(state.text.contains(QStringLiteral("адрес не того")));
}

TEST(ExchangeStateText, ExceptionCodeTwoAddsItsLineAfterTheFlagLines) {
    EXPECT_EQ(ExchangeStateText(ExceptionFlags, 2).text,
              QStringLiteral("При приеме не принято ожидаемое число символов. \r\n"
                             "В ответе указан не тот номер команды. \r\n"
                             "Указан адрес который не поддерживается. \r\n"));
}

TEST(ExchangeStateText, ExceptionCodeLines) {
    const char* lines[] = {"Неподдерживаемая функция. \r\n", "Указан адрес который не поддерживается. \r\n",
                           "Неправильные значения данных. \r\n", "Ошибка в работе прибора. \r\n"};
    for (uint8_t code = 1; code <= 4; ++code)
        EXPECT_EQ(ExchangeStateText(ExceptionReply, code).text, QString::fromUtf8(lines[code - 1]));
}

TEST(ExchangeStateText, UnknownExceptionCodeAddsNothingButIsNotNormal) {
    ExchangeState state = ExchangeStateText(ExceptionFlags, 6);
    EXPECT_FALSE(state.normal);
    EXPECT_EQ(state.text, QStringLiteral("При приеме не принято ожидаемое число символов. \r\n"
                                         "В ответе указан не тот номер команды. \r\n"));
    // Even with no line at all the state is a problem, not the normal one.
    ExchangeState bare = ExchangeStateText(ExceptionReply, 6);
    EXPECT_FALSE(bare.normal);
    EXPECT_TRUE(bare.text.isEmpty());
}

TEST(ExchangeStateText, ParityLineComesSecond) {
    EXPECT_EQ(ExchangeStateText(ParityError | NoReply, 0).text,
              QStringLiteral("Ответа не было. \r\nПри приеме ответа ошибка паритета. \r\n"));
}

TEST(ExchangeStatus, GatewayExceptionsHaveTheirOwnWordsInBoxAndMemo) {
    EXPECT_EQ(ExchangeErrorBox(ExceptionFlags, 10)->text, QStringLiteral("Шлюз не нашёл путь к прибору"));
    EXPECT_TRUE(ExchangeStateText(ExceptionFlags, 11)
                    .text.endsWith(QStringLiteral("Прибор за шлюзом не ответил \r\n")));
}
