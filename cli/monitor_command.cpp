// monitor: the window's listen-only line monitor. The port is opened and read; nothing is ever written.
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/line.h"
#include "cli/output.h"
#include "cli/stop_signals.h"

#include "link/exchange_status.h"
#include "monitor/capture.h"
#include "monitor/capture_session.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <cstring>
#include <memory>

#include <poll.h>

namespace olv::cli {

namespace {

using monitor::Direction;
using monitor::Micros;
using monitor::Row;

Micros WallNow() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A row is printed once nothing more can change in it: a request once its reply came or its time-out
// passed (a broadcast expects none), anything else at once.
bool Settled(const Row& row) {
    return row.direction != Direction::Request || row.unanswered || row.latency >= 0 || row.address() == 0;
}

QString DirectionWord(Direction direction, bool json) {
    switch (direction) {
    case Direction::Request:
        return json ? QStringLiteral("request") : QStringLiteral("запрос");
    case Direction::Reply:
        return json ? QStringLiteral("reply") : QStringLiteral("ответ");
    case Direction::Broken:
        break;
    }
    return json ? QStringLiteral("broken") : QStringLiteral("—");
}

void PrintRow(const Row& row, bool json) {
    const bool broken = row.direction == Direction::Broken;
    const monitor::Meaning meaning =
        broken ? monitor::Meaning{} : monitor::DescribeFrame(row.adu(), row.aduSize(), row.direction, row.span, row.context);
    const QString text = broken ? monitor::DescribeBroken(row.bytes.size(), row.lineError)
                         : meaning.lineChange ? meaning.text + QStringLiteral(" — смена линии")
                                              : meaning.text;
    const QString bytes = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(row.bytes.data()),
                                                         static_cast<qsizetype>(row.bytes.size()))
                                                  .toHex(' ')
                                                  .toUpper());
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(row.end / 1000);
    if (json) {
        JsonObject line;
        line.add("time", when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODateWithMs))
            .add("direction", DirectionWord(row.direction, true));
        if (row.address() >= 0)
            line.add("address", row.address());
        else
            line.addNull("address");
        if (!broken && row.aduSize() >= 2)
            line.add("function", int{row.adu()[1]});
        else
            line.addNull("function");
        if (!broken && row.span.start >= 0)
            line.add("start", row.span.start).add("count", row.span.count);
        else
            line.addNull("start").addNull("count");
        line.add("meaning", text);
        if (row.latency >= 0)
            line.add("latency_ms", static_cast<double>(row.latency) / 1000.0);
        else
            line.addNull("latency_ms");
        line.add("unanswered", row.unanswered).add("crc_valid", row.crcValid).add("bytes", bytes);
        PrintLine(line.text());
        return;
    }
    const QString latency = row.latency >= 0   ? QString::number(static_cast<double>(row.latency) / 1000.0, 'f', 1)
                            : row.unanswered ? QStringLiteral("нет ответа")
                                             : QString();
    PrintLine(QStringList{when.toString(QStringLiteral("HH:mm:ss.zzz")), DirectionWord(row.direction, false),
                          row.address() >= 0 ? QString::number(row.address()) : QString(),
                          broken ? QString() : meaning.function, broken ? QString() : meaning.registers, text,
                          latency, row.crcValid ? QStringLiteral("верна") : QStringLiteral("ошибка"), bytes}
                  .join(u'\t'));
}

} // namespace

int RunMonitor(const Options& options) {
    // The capture's file is judged before the line is opened: a folder or a FIFO under the name is never
    // written, and a spool that cannot be made beside it ends the job before it listens.
    std::unique_ptr<monitor::CaptureSession> session;
    if (!options.pcap.isEmpty()) {
        const QFileInfo target(options.pcap);
        if ((target.exists() || target.isSymLink()) && !target.isFile())
            throw Failure(FileFault, QStringLiteral("Файл %1 не записан: это не обычный файл")
                                         .arg(QDir::toNativeSeparators(options.pcap)));
        session = std::make_unique<monitor::CaptureSession>(
            monitor::CaptureSession::Options{{target.absolutePath(), QDir::tempPath()}, monitor::DefaultSpoolBytes});
        if (session->failed())
            throw Failure(FileFault, QStringLiteral("Файл для кадров записи %1 не создан: %2")
                                         .arg(QDir::toNativeSeparators(target.absolutePath()),
                                              QString::fromLocal8Bit(std::strerror(session->error()))));
    }

    Line line(ResolveLine(options.line));
    line.open(); // opening sends nothing; the control lines stay as the open left them
    link::Port& port = line.port();
    port.purge();
    const link::LinkSettings& s = line.settings();
    monitor::Capture capture(monitor::Capture::Settings{s.baudRate, s.timeoutMs, s.byteOrder, 4096});
    if (!session) capture.setSpooling(false);

    int64_t printed = 0;
    const auto printSettled = [&](bool all) {
        for (; printed < capture.endSequence(); ++printed) {
            if (printed < capture.firstSequence()) printed = capture.firstSequence();
            const Row* row = capture.row(printed);
            if (!row) break;
            if (!all && !Settled(*row)) break;
            PrintRow(*row, options.json);
        }
        if (session) session->take(capture);
    };

    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(options.seconds));
    bool lost = false;
    uint8_t buffer[4096];
    while (!StopRequested() && (options.seconds <= 0 || std::chrono::steady_clock::now() < end)) {
        if (port.descriptor() >= 0) {
            pollfd p{port.descriptor(), POLLIN, 0};
            ::poll(&p, 1, 20);
        } else {
            SleepUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20));
        }
        for (int i = 0; i < 64; ++i) {
            const size_t n = port.readAvailable(buffer, sizeof buffer);
            if (n == 0) break;
            capture.feed(buffer, n, WallNow(), port.takeLineErrors() != 0);
        }
        capture.idle(WallNow());
        printSettled(false);
        if (!port.isOpen() || port.hungUp()) {
            lost = true;
            break;
        }
    }
    capture.end();
    printSettled(true);

    if (session) {
        QString reason;
        if (session->failed() || !session->save(options.pcap, reason))
            throw Failure(FileFault, QStringLiteral("Не удалось записать файл %1: %2")
                                         .arg(QDir::toNativeSeparators(options.pcap),
                                              reason.isEmpty() ? QString::fromLocal8Bit(std::strerror(session->error()))
                                                               : reason));
    }
    if (lost)
        throw Failure(LineFault, QStringLiteral("%1: Связь с портом потеряна, прослушивание остановлено.")
                                     .arg(line.resolved().portName));
    return Done;
}

} // namespace olv::cli
