#pragma once

#include "sim/line.h"

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace olv::sim {

// What the gateway sends back for one Modbus TCP request.
struct GatewayReply {
    std::vector<uint8_t> bytes; // empty: nothing is sent
    int delayMs = 0;
    int gapMs = 0; // between the reply's bytes, as the line behind the gateway spaced them
    std::string log;
};

// A Modbus TCP gateway in front of the line: the request frame (MBAP header and PDU, whole and valid)
// goes to the line as an RTU frame to the unit's address, and the line's reply comes back as a Modbus
// TCP frame of the same transaction. A unit that does not answer (or answers with a broken frame) gets
// exception 11, or nothing when silent. Unit 0 is a broadcast, answered by nobody. Pure: time is
// passed in.
GatewayReply AnswerModbusTcp(Line& line, const std::vector<uint8_t>& request, bool silent, double now);

// HOST:PORT with HOST an address or name, [IPv6] in brackets; PORT 0..65535 (0: any free one).
bool ParseListenAddress(const std::string& text, std::string& host, std::string& port);

struct GatewayIo {
    std::function<double()> now;
    std::function<void(const std::string&)> log; // a line on stderr
    std::function<void(const std::string&)> say; // text on stdout
    const volatile sig_atomic_t* stop = nullptr;
    const sigset_t* waitMask = nullptr; // the signals to let through while waiting
    int controlFd = -1;                 // the --control FIFO, read for commands as stdin is; -1: none
};

// Listens at listenAddress, prints mbtcp://HOST:PORT (the port actually bound) as the first line of
// stdout and serves every connection (several at once) until a signal or `quit` on stdin or the control
// FIFO; the other commands of either go to the line, and their answers to stdout. A connection whose header
// cannot begin a frame is dropped. Returns the exit status.
int ServeGateway(Line& line, const std::string& listenAddress, bool silent, const GatewayIo& io);

} // namespace olv::sim
