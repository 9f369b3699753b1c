#include "link/exchange_status.h"

#include <array>

namespace olv::link {

namespace {

constexpr int AnyCode = -1;

const char DeviceCaption[] = "Устройство сообщает об ошибке";
const char ExchangeCaption[] = "Ошибка в обмене.";

// A row matches when its flag is set and, unless it is AnyCode, the exception code equals its code.
struct ErrorRow {
    ResultFlags flag;
    int code;
    const char* text;
    const char* caption;
    bool appendCode; // the text is followed by the exception code in decimal
};

// Message boxes, in order of precedence: the first matching row is the one shown. A reply of zero
// bytes also carries WrongLength, so it is reported by the wrong-length row before the no-reply row;
// exception replies always carry WrongLength and WrongFunction too, so their rows come first.
constexpr std::array<ErrorRow, 13> ErrorRows{{
    {ExceptionReply, 1, "Неподдерживаемая функция.", DeviceCaption, false},
    {ExceptionReply, 2, "Адрес данных выходит за допустимые границы.", DeviceCaption, false},
    {ExceptionReply, 3, "Величина данных превышает допустимое значение.", DeviceCaption, false},
    {ExceptionReply, 4, "Ошибка в работе адресуемого устройства.", DeviceCaption, false},
    // A Modbus TCP gateway answers for the line behind it.
    {ExceptionReply, 10, "Шлюз не нашёл путь к прибору", DeviceCaption, false},
    {ExceptionReply, 11, "Прибор за шлюзом не ответил", DeviceCaption, false},
    {ExceptionReply, AnyCode, "Ошибка устройства ", DeviceCaption, true},
    {ParityError, AnyCode, "При приеме ответа ошибка паритета.", ExchangeCaption, false},
    {WrongLength, AnyCode, "При приеме не принято ожидаемое число символов.", ExchangeCaption, false},
    {WrongAddress, AnyCode, "При приеме в ответе указан не адрес того устройства к которому обращались.",
     ExchangeCaption, false},
    {CrcMismatch, AnyCode, "При приеме в ответе не сошлась контрольная сумма.", ExchangeCaption, false},
    {NoReply, AnyCode, "Ответа не было.", ExchangeCaption, false},
    {WrongFunction, AnyCode, "В ответе указан не тот номер команды.", ExchangeCaption, false},
}};

// A memo line matches on a flag (code 0 in the row) or on an exception code (flag 0 in the row).
struct StateLine {
    ResultFlags flag;
    int code;
    const char* text;
};

// Memo lines, in the order they are listed. ExceptionReply has no line of its own: the code lines
// stand for it, and a code other than 1..4, 10 and 11 adds nothing.
constexpr std::array<StateLine, 12> StateLines{{
    {NoReply, 0, "Ответа не было. \r\n"},
    {ParityError, 0, "При приеме ответа ошибка паритета. \r\n"},
    {WrongLength, 0, "При приеме не принято ожидаемое число символов. \r\n"},
    {WrongAddress, 0, "При приеме в ответе указан адрес не того устройства к которому обращались. \r\n"},
    {CrcMismatch, 0, "При приеме в ответе не сошлась контрольная сумма. \r\n"},
    {WrongFunction, 0, "В ответе указан не тот номер команды. \r\n"},
    {0, 1, "Неподдерживаемая функция. \r\n"},
    {0, 2, "Указан адрес который не поддерживается. \r\n"},
    {0, 3, "Неправильные значения данных. \r\n"},
    {0, 4, "Ошибка в работе прибора. \r\n"},
    {0, 10, "Шлюз не нашёл путь к прибору \r\n"},
    {0, 11, "Прибор за шлюзом не ответил \r\n"},
}};

const char NormalText[] = "Нормальный обмен";

} // namespace

std::optional<messages::Box> ExchangeErrorBox(ResultFlags flags, uint8_t exceptionCode) {
    for (const ErrorRow& row : ErrorRows) {
        if ((flags & row.flag) == 0) continue;
        if (row.code != AnyCode && row.code != exceptionCode) continue;
        messages::Box box;
        box.text = QString::fromUtf8(row.text);
        if (row.appendCode) box.text += QString::number(exceptionCode);
        box.caption = QString::fromUtf8(row.caption);
        box.icon = messages::BoxIcon::Warning;
        box.buttons = messages::BoxButtons::Ok;
        return box;
    }
    return std::nullopt;
}

ExchangeState ExchangeStateText(ResultFlags flags, uint8_t exceptionCode) {
    if (flags == 0 && exceptionCode == 0) return {QString::fromUtf8(NormalText), true};
    ExchangeState state{QString(), false};
    for (const StateLine& line : StateLines) {
        const bool holds = line.flag != 0 ? (flags & line.flag) != 0 : exceptionCode == line.code;
        if (holds) state.text += QString::fromUtf8(line.text);
    }
    return state;
}

} // namespace olv::link
