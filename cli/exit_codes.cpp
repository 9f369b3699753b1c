#include "cli/exit_codes.h"

#include "link/exchange_status.h"

namespace olv::cli {

int ExitCodeOf(link::ResultFlags flags, uint8_t exceptionCode) {
    if (link::Succeeded(flags, exceptionCode)) return Done;
    // A gateway's "no path" and "the instrument behind me did not answer" are the line's silence.
    if ((flags & link::ExceptionReply) && exceptionCode != 10 && exceptionCode != 11) return InstrumentRefused;
    return LineFault;
}

QString ExchangeFailureText(link::ResultFlags flags, uint8_t exceptionCode) {
    // Nothing at all came: said as such, not as the wrong length the window's box puts first.
    if (flags & link::NoReply) return QStringLiteral("Ответа не было.");
    const std::optional<messages::Box> box = link::ExchangeErrorBox(flags, exceptionCode);
    if (!box) return QStringLiteral("ошибка обмена");
    QString text = box->text.trimmed();
    if (flags & link::ExceptionReply) {
        QString caption = box->caption;
        text = caption + QStringLiteral(": ") + text;
        if (!text.endsWith(QString::number(exceptionCode)))
            text += QStringLiteral(" (код %1)").arg(exceptionCode);
    }
    return text;
}

} // namespace olv::cli
