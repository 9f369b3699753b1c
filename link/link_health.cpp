#include "link/link_health.h"

#include "link/modbus_tcp_frame.h"

#include <chrono>

namespace olv::link {

namespace {

// Bytes came back, but not a reply that can be taken as the instrument's: on an RTU line a checksum
// that does not match; over Modbus TCP, which carries none, anything but one whole frame of the
// request's transaction, and a normal reply of another length than the one asked for.
bool Broken(const ExchangeRecord& record) {
    if (record.framing == Framing::Rtu) return (record.flags & CrcMismatch) != 0;
    const uint16_t transaction =
        record.request && record.requestLength >= 2 ? MbapTransaction(record.request) : 0;
    if (!record.reply || !ModbusTcpReplyWhole(record.reply, record.replyLength, transaction)) return true;
    return (record.flags & WrongLength) && !(record.flags & ExceptionReply);
}

} // namespace

void CountExchange(LinkCounters& counters, const ExchangeRecord& record) {
    ++counters.requests;
    // The replies of other transactions passed over while this one waited are broken replies too.
    counters.crcErrors += record.skippedReplies;
    counters.answeredLast = record.replyLength > 0;
    if (record.replyLength == 0) {
        ++counters.noReply;
        return;
    }
    counters.lastReplyMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(record.ended - record.sent).count());
    if (Broken(record)) {
        ++counters.crcErrors;
        return;
    }
    ++counters.answers;
    if (record.flags & ExceptionReply) ++counters.exceptions;
}

LinkState LinkStateOf(bool listening, bool portOpen, bool hungUp, bool fresh, const LinkCounters& counters) {
    if (listening) return LinkState::Listening;
    if (!portOpen || hungUp) return LinkState::PortClosed;
    if (fresh) return LinkState::PortOpen;
    return counters.answeredLast ? LinkState::Exchange : LinkState::NoReply;
}

QString LinkStateText(LinkState state) {
    switch (state) {
    case LinkState::PortOpen:
        return QStringLiteral("порт открыт");
    case LinkState::Exchange:
        return QStringLiteral("обмен");
    case LinkState::NoReply:
        return QStringLiteral("нет ответа");
    case LinkState::PortClosed:
        return QStringLiteral("порт закрыт");
    case LinkState::Listening:
        return QStringLiteral("слушает линию");
    }
    return {};
}

QString LinkHealthText(const LinkDescription& link, LinkState state, const LinkCounters& counters) {
    static const QString parities[] = {QStringLiteral("без паритета"), QStringLiteral("нечетный"),
                                       QStringLiteral("четный")};
    const QString dot = QStringLiteral(" · ");
    QString text = QStringLiteral("COM%1 %2").arg(link.portNumber).arg(link.path);
    // A gateway (tcp://, mbtcp://) sets rate and parity on its own serial side.
    if (!link.path.contains(QLatin1String("://")))
        text += dot + QStringLiteral("%1, ").arg(link.baudRate) +
                parities[link.parity >= 0 && link.parity <= 2 ? link.parity : 0];
    return text + dot + QStringLiteral("адрес %1").arg(link.address) + dot + LinkStateText(state) + dot +
           LinkCountsText(counters);
}

QString LinkCountsText(const LinkCounters& counters) {
    QString text = QStringLiteral("запросов %1, ответов %2, без ответа %3, CRC %4, исключений %5")
                       .arg(counters.requests)
                       .arg(counters.answers)
                       .arg(counters.noReply)
                       .arg(counters.crcErrors)
                       .arg(counters.exceptions);
    if (counters.lastReplyMs >= 0) text += QStringLiteral(" · %1 мс").arg(counters.lastReplyMs);
    return text;
}

} // namespace olv::link
