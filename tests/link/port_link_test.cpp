#include "link/host_lookup.h"
#include "link/line_port.h"
#include "link/link_settings.h"
#include "link/port_link.h"
#include "link/port_master.h"
#include "tests/support/fake_port.h"
#include "tests/support/pty_peer.h"
#include "tests/support/recording_boxes.h"

#include <gtest/gtest.h>

#include <netdb.h>

using namespace olv::link;
using olv::messages::Box;
using olv::messages::BoxButtons;
using olv::messages::BoxIcon;
using olv::test::FakePort;
using olv::test::RecordingBoxes;

namespace {

class SerialLinkTest : public ::testing::Test {
  protected:
    SerialLinkTest() {
        auto owned = std::make_unique<FakePort>();
        port = owned.get();
        port->opened = false;
        link = std::make_unique<PortLink>(std::move(owned), boxes,
                                            [](int n) { return "/dev/fake" + std::to_string(n); });
        link->setClock([this] { return now; });
    }

    bool open(int portNumber, int baud = 19200, int dataBits = 8, int parity = 2, int stopBits = 1) {
        return link->openPort(portNumber, baud, dataBits, parity, stopBits, 1000);
    }

    FakePort* port = nullptr;
    PortLink::Clock::time_point now{std::chrono::hours(1)};
    RecordingBoxes boxes;
    std::unique_ptr<PortLink> link;
};

} // namespace

TEST_F(SerialLinkTest, PortNumbersOutsideOneToEightOpenCom1) {
    for (int number : {0, 9, -1, 100}) {
        ASSERT_TRUE(open(number));
        EXPECT_EQ(port->opens.back().path, "/dev/fake1") << number;
    }
    ASSERT_TRUE(open(8));
    EXPECT_EQ(port->opens.back().path, "/dev/fake8");
}

struct LineCase {
    int baudRate, dataBits, parity;
    int expectBaud, expectBits, expectParity;
};

class LineSettingsTable : public SerialLinkTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineSettingsTable, OpenAppliesTheValidatedLineSettings) {
    const LineCase& c = GetParam();
    ASSERT_TRUE(open(1, c.baudRate, c.dataBits, c.parity, 2));
    const LineSettings& line = port->opens.back().line;
    EXPECT_EQ(line.baudRate, c.expectBaud);
    EXPECT_EQ(line.dataBits, c.expectBits);
    EXPECT_EQ(line.parity, c.expectParity);
}

INSTANTIATE_TEST_SUITE_P(PortLink, LineSettingsTable,
                         ::testing::Values(LineCase{14400, 8, 0, 19200, 8, 0}, LineCase{110, 8, 1, 110, 8, 1},
                                           LineCase{115200, 7, 2, 115200, 7, 2},
                                           LineCase{38400, 5, 5, 38400, 5, 0},
                                           LineCase{1200, 9, -1, 1200, 8, 0},
                                           LineCase{0, 4, 3, 19200, 8, 0}));

TEST_F(SerialLinkTest, OpenSetsTimeoutsThenPurgesAfterClosingFirst) {
    ASSERT_TRUE(open(3));
    EXPECT_EQ(port->calls, (std::vector<std::string>{"close", "open", "setReadTimeouts", "purge"}));
    EXPECT_EQ(port->timeouts.back().constantMs, 1000u);
}

TEST_F(SerialLinkTest, ReopeningTheSamePortClosesItFirst) {
    ASSERT_TRUE(open(2));
    port->calls.clear();
    ASSERT_TRUE(open(2));
    ASSERT_GE(port->calls.size(), 2u);
    EXPECT_EQ(port->calls[0], "close");
    EXPECT_EQ(port->calls[1], "open");
    EXPECT_TRUE(port->isOpen());
}

TEST_F(SerialLinkTest, FailedOpenShowsOneBoxPerAttemptAndLeavesThePortClosed) {
    port->failOpen = true;
    port->openFailure = "Device or resource busy";
    EXPECT_FALSE(open(4));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const Box& box = boxes.boxes[0];
    EXPECT_EQ(box.text, QStringLiteral("Невозможно открыть последовательный порт"));
    EXPECT_EQ(box.caption, QStringLiteral("Ошибка"));
    EXPECT_EQ(box.icon, BoxIcon::Error);
    EXPECT_EQ(box.buttons, BoxButtons::Ok);
    EXPECT_EQ(box.detail, QStringLiteral("/dev/fake4: Device or resource busy"));
    EXPECT_FALSE(port->isOpen());

    EXPECT_FALSE(open(4));
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(SerialLinkTest, TransactionOnAPortThatFailedToOpenGivesNoReplyWithoutTouchingTheLine) {
    ASSERT_TRUE(open(1));
    port->failOpen = true;
    ASSERT_FALSE(open(1));
    port->queueReply({0x01, 0x03, 0x06, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x69, 0x43});

    LinkSettings settings;
    settings.address = 1;
    settings.traceEnabled = 0;
    PortMaster master(link->port(), settings);
    uint16_t values[3] = {7, 7, 7};
    uint8_t exc = 1;
    EXPECT_EQ(master.readHoldingRegisters(15, 3, values, exc),
              NoReply | WrongLength | WrongFunction | CrcMismatch | WrongAddress);
    EXPECT_EQ(exc, 0);
    EXPECT_TRUE(port->written.empty());
    EXPECT_EQ(port->pendingReplies(), 1u);
    EXPECT_EQ(boxes.boxes.size(), 1u) << "the transaction itself shows nothing";
}

TEST_F(SerialLinkTest, RaiseLinesAndCloseDelegateToThePort) {
    ASSERT_TRUE(open(1));
    link->raiseLines();
    EXPECT_EQ(port->raiseLinesCalls, 1);
    link->closePort();
    EXPECT_FALSE(port->isOpen());
}

TEST_F(SerialLinkTest, WithoutAResolverComNumbersMapToTtyS) {
    auto owned = std::make_unique<FakePort>();
    FakePort* fake = owned.get();
    PortLink plain(std::move(owned), boxes, nullptr);
    ASSERT_TRUE(plain.openPort(3, 19200, 8, 0, 1, 1000));
    EXPECT_EQ(fake->opens.back().path, "/dev/ttyS2");
}

TEST_F(SerialLinkTest, NothingIsLostBeforeAPortWasChosenOrAfterItWasClosed) {
    EXPECT_FALSE(link->lost());
    now += std::chrono::seconds(5);
    EXPECT_FALSE(link->reconnectIfLost());
    EXPECT_TRUE(port->opens.empty());

    port->failOpen = true;
    ASSERT_FALSE(open(2));
    EXPECT_TRUE(link->lost());
    link->closePort(); // the window closing
    EXPECT_FALSE(link->lost());
    now += std::chrono::seconds(5);
    EXPECT_FALSE(link->reconnectIfLost());
    EXPECT_EQ(port->opens.size(), 1u);
}

TEST_F(SerialLinkTest, AHungUpPortIsClosedAtOnceAndReopenedQuietlyOnceASecond) {
    ASSERT_TRUE(open(3, 9600, 8, 1));
    EXPECT_FALSE(link->lost());
    EXPECT_FALSE(link->reconnectIfLost()) << "a working line is left alone";
    EXPECT_EQ(port->opens.size(), 1u);

    port->lineHungUp = true;
    port->failOpen = true; // the adapter is still out
    EXPECT_TRUE(link->lost());
    now += std::chrono::milliseconds(400);
    EXPECT_FALSE(link->reconnectIfLost());
    EXPECT_FALSE(port->isOpen()) << "closed at once, before any attempt is due";
    EXPECT_EQ(port->opens.size(), 1u);

    now += PortLink::ReconnectSpacing - std::chrono::milliseconds(400);
    EXPECT_FALSE(link->reconnectIfLost());
    EXPECT_EQ(port->opens.size(), 2u);
    now += PortLink::ReconnectSpacing - std::chrono::milliseconds(1);
    EXPECT_FALSE(link->reconnectIfLost());
    EXPECT_EQ(port->opens.size(), 2u) << "at most one attempt a second";

    port->failOpen = false; // plugged in again
    now += std::chrono::milliseconds(1);
    EXPECT_TRUE(link->reconnectIfLost());
    EXPECT_FALSE(link->lost());
    ASSERT_EQ(port->opens.size(), 3u);
    EXPECT_EQ(port->opens.back().path, "/dev/fake3");
    EXPECT_EQ(port->opens.back().line.baudRate, 9600);
    EXPECT_EQ(port->opens.back().line.parity, 1);
    EXPECT_EQ(port->timeouts.back().intervalMs, 24u) << "the time-outs of the rate asked for";
    EXPECT_EQ(port->calls.back(), "purge");
    EXPECT_TRUE(boxes.boxes.empty()) << "quiet attempts show nothing";
}

TEST_F(SerialLinkTest, APortThatFailedToOpenIsRetriedQuietlyAndAUserOpenStillShowsItsBox) {
    port->failOpen = true;
    ASSERT_FALSE(open(5));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    now += PortLink::ReconnectSpacing;
    EXPECT_FALSE(link->reconnectIfLost());
    EXPECT_EQ(port->opens.size(), 2u);
    EXPECT_EQ(boxes.boxes.size(), 1u);

    EXPECT_FALSE(open(5)); // the user picks the port again
    EXPECT_EQ(boxes.boxes.size(), 2u);
    port->failOpen = false;
    EXPECT_FALSE(link->reconnectIfLost()) << "the user's attempt counts as the last one";
    now += PortLink::ReconnectSpacing;
    EXPECT_TRUE(link->reconnectIfLost());
    EXPECT_EQ(port->opens.back().path, "/dev/fake5");
}

TEST_F(SerialLinkTest, TheConnectTimeOutIsTheLinksTimeOut) {
    ASSERT_TRUE(link->openPort(1, 19200, 8, 2, 1, 2500));
    EXPECT_EQ(port->opens.back().line.connectTimeoutMs, 2500);
    ASSERT_TRUE(link->openPort(1, 19200, 8, 2, 1, -7));
    EXPECT_EQ(port->opens.back().line.connectTimeoutMs, 0);
}

// Quiet attempts are spaced from the end of the previous attempt, however long that one took.
struct SpacingCase {
    int attemptMs; // how long the failed open took (a connect that ran out takes the whole time-out)
    int sinceEndMs;
    bool attempts;
};

class ReconnectSpacingTable : public SerialLinkTest, public ::testing::WithParamInterface<SpacingCase> {};

TEST_P(ReconnectSpacingTable, CountsFromTheEndOfTheLastAttempt) {
    port->failOpen = true;
    port->onOpen = [this] { now += std::chrono::milliseconds(GetParam().attemptMs); };
    ASSERT_FALSE(open(4));
    now += std::chrono::milliseconds(GetParam().sinceEndMs);
    link->reconnectIfLost();
    EXPECT_EQ(port->opens.size(), GetParam().attempts ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(PortLink, ReconnectSpacingTable,
                         ::testing::Values(SpacingCase{0, 899, false}, SpacingCase{0, 900, true},
                                           SpacingCase{1000, 0, false}, SpacingCase{1000, 899, false},
                                           SpacingCase{1000, 900, true}));

// A real port that cannot be opened: the box names the device and gives the reason in Russian, then
// the system's words in brackets.
struct FailureCase {
    const char* name;
    const char* path; // empty: the pseudo-terminal another master holds
    const char* reason;
    int resolverAnswer = 0; // non-zero: what the name lookup answers for the path's host
};

class OpenFailureTable : public ::testing::TestWithParam<FailureCase> {};

TEST_P(OpenFailureTable, NamesTheReasonInRussian) {
    olv::test::PtyPair pty;
    ASSERT_TRUE(pty.ok());
    RecordingBoxes boxes;
    const std::string path = *GetParam().path ? GetParam().path : pty.slavePath();
    // Another master holds the line: only the pseudo-terminal's own path is busy.
    PortLink holder(std::make_unique<LinePort>(), boxes, [&](int) { return pty.slavePath(); });
    ASSERT_TRUE(holder.openPort(1, 19200, 8, 0, 1, 300));
    PortLink link(std::make_unique<LinePort>(), boxes, [&](int) { return path; });
    if (const int answer = GetParam().resolverAnswer)
        SetHostResolver([answer](const char*, const char*, const addrinfo*, addrinfo**) { return answer; });
    EXPECT_FALSE(link.openPort(1, 19200, 8, 0, 1, 300));
    SetHostResolver({});
    ASSERT_EQ(boxes.boxes.size(), 1u);
    const QString detail = boxes.boxes[0].detail;
    const QString start =
        QString::fromStdString(path) + QStringLiteral(": ") + QString::fromUtf8(GetParam().reason);
    EXPECT_TRUE(detail.startsWith(start + QStringLiteral(" (")) && detail.endsWith(u')'))
        << detail.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    PortLink, OpenFailureTable,
    ::testing::Values(FailureCase{"Missing", "/dev/olv-no-such-tty", "нет такого устройства"},
                      FailureCase{"Busy", "", "порт занят другой программой"},
                      FailureCase{"NotATerminal", "/dev/null", "это не последовательный порт"},
                      FailureCase{"Refused", "tcp://127.0.0.1:1", "соединение отвергнуто"},
                      FailureCase{"RefusedGateway", "mbtcp://127.0.0.1:1", "соединение отвергнуто"},
                      FailureCase{"UnknownHost", "tcp://gateway.test:502", "имя узла не найдено", EAI_NONAME},
                      FailureCase{"NameServerDown", "tcp://gateway.test:502", "служба имён не ответила",
                                  EAI_AGAIN}),
    [](const auto& info) { return std::string(info.param.name); });
