#pragma once

#include "link/exchange_record.h"

#include <QString>

#include <cstdint>

namespace olv::link {

// What the line is doing, for the window's status bar.
enum class LinkState {
    PortOpen,   // open, nothing exchanged yet
    Exchange,   // the last request was answered
    NoReply,    // the last request got nothing back
    PortClosed, // the port could not be opened, or its line went away
    Listening,  // the program only listens to the line (the line monitor)
};

// Counts of the program's own exchanges since start. Cheap to keep: a few integers per exchange.
struct LinkCounters {
    uint64_t requests = 0;   // requests that went on the wire
    uint64_t answers = 0;    // replies whose checksum matched (exception replies included); over Modbus
                             // TCP whole frames of the request's transaction
    uint64_t noReply = 0;    // nothing came back
    uint64_t crcErrors = 0;  // bytes came back, but not a frame with a matching checksum (over Modbus
                             // TCP: not a whole frame of the transaction), and every reply of another
                             // transaction passed over
    uint64_t exceptions = 0; // exception replies
    int lastReplyMs = -1;    // from the request to the end of the last reply that came; -1 before any
    bool answeredLast = false;
};

// Takes one exchange into the counters.
void CountExchange(LinkCounters& counters, const ExchangeRecord& record);

// The link as the status bar names it: the COM number and the device path it leads to, the rate and
// the parity (not for a network path, whose rate and parity belong to the gateway), the address.
struct LinkDescription {
    int portNumber = 1;
    QString path;
    int baudRate = 19200;
    int parity = 0;
    int address = 0;
};

// What the line is doing, from what the window knows of it: listening comes first, then a port that
// is closed or whose line hung up, then the last exchange since the port was opened (fresh: none yet).
LinkState LinkStateOf(bool listening, bool portOpen, bool hungUp, bool fresh, const LinkCounters& counters);

// The state in words: "порт открыт", "обмен", "нет ответа", "порт закрыт", "слушает линию".
QString LinkStateText(LinkState state);

// The counters in words: "запросов 12, ответов 11, без ответа 1, CRC 0, исключений 0", then " · 14 мс"
// (from the request to the end of the last reply) once a reply has come.
QString LinkCountsText(const LinkCounters& counters);

// The status bar's line: the link, its state and the counters, e.g.
// "COM1 /dev/ttyUSB0 · 19200, четный · адрес 1 · обмен · запросов 12, ответов 11, без ответа 1, CRC 0,
// исключений 0 · 14 мс" (the last: from the request to the end of the last reply).
QString LinkHealthText(const LinkDescription& link, LinkState state, const LinkCounters& counters);

} // namespace olv::link
