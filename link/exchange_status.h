#pragma once

#include "link/result_flags.h"
#include "messages/message_boxes.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace olv::link {

// The exchange state of the live page: the memo text and whether it is the normal state.
struct ExchangeState {
    QString text;
    bool normal = true;
};

// The one message box that reports a failed operation: the first matching row of the error table,
// with the warning icon and an OK button. Nothing when no row matches (for instance flags 0).
std::optional<messages::Box> ExchangeErrorBox(ResultFlags flags, uint8_t exceptionCode);

// The memo text of a transaction result: "Нормальный обмен" when flags and code are both 0, else one
// line (ending with " \r\n") for every problem present, in a fixed order.
ExchangeState ExchangeStateText(ResultFlags flags, uint8_t exceptionCode);

} // namespace olv::link
