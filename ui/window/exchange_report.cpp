// Exchange results for the user: a message box for a failed operation, the memo of the live page.
#include "ui/window/form1.h"

#include "ui/widgets/quiet_setters.h"

#include "link/exchange_status.h"
#include "messages/message_boxes.h"

#include <QPlainTextEdit>

void TForm1::ReportExchangeError(olv::link::ResultFlags flags, uint8_t exceptionCode, const QString& detail) {
    auto box = olv::link::ExchangeErrorBox(flags, exceptionCode);
    if (!box) return;
    if (!detail.isEmpty()) box->detail = detail;
    boxes->show(*box);
}

void TForm1::ShowExchangeState(olv::link::ResultFlags flags, uint8_t exceptionCode) {
    const olv::link::ExchangeState state = olv::link::ExchangeStateText(flags, exceptionCode);
    SetColor(Memo3, state.normal ? ButtonFaceColor() : QColor(255, 255, 0));
    // The lines end with CR LF; the memo keeps one line per problem.
    QString text = state.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    SetPlainTextQuietly(Memo3, text);
}
