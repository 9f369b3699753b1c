// value and info: reads only.
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/fields.h"
#include "cli/line.h"
#include "cli/output.h"
#include "cli/stop_signals.h"

#include "device/encodings.h"
#include "device/live_value.h"
#include "device/number_text.h"
#include "device/register_map.h"
#include "records/instrument_state.h"

#include <QDateTime>

#include <chrono>

namespace olv::cli {

namespace reg = device::reg;

namespace {

QString StatusWords(uint16_t status) {
    return status == 0 ? device::NormalStatusText() : device::StatusText(status);
}

void PrintReading(const QDateTime& when, const device::LiveReading& reading, const QString& units, bool json) {
    const QString status = StatusWords(reading.liveStatus);
    if (json) {
        JsonObject line;
        line.add("time", when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODateWithMs));
        if (reading.liveImplausible)
            line.addNull("value");
        else
            line.add("value", reading.liveValue);
        line.add("units", units).add("status", int{reading.liveStatus}).add("status_text", status);
        PrintLine(line.text());
        return;
    }
    const QString value =
        reading.liveImplausible ? QStringLiteral("нет числа") : device::FormatValue(reading.liveValue).trimmed();
    PrintLine(QStringLiteral("%1\t%2\t%3\t%4\t%5")
                  .arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")), value, units)
                  .arg(reading.liveStatus, 4, 16, QLatin1Char('0'))
                  .arg(status));
}

} // namespace

int RunValue(const Options& options) {
    Line line(ResolveLine(options.line));
    line.open();
    link::ModbusMaster& master = line.master();

    // The units the value is sent in and, unless given, the byte order it is sent in: registers 9..11.
    uint16_t words[3] = {};
    uint8_t exceptionCode = 0;
    link::ResultFlags flags = master.readHoldingRegisters(reg::DampingUnits, 3, words, exceptionCode);
    line.check(flags, exceptionCode, QStringLiteral("единицы и порядок байт"));
    const int byteOrder = line.resolved().byteOrderGiven ? line.settings().byteOrder : words[2];
    const QString units = device::UnitName(words[0] & 0xFF);

    int failure = Done;
    const auto interval = std::chrono::milliseconds(options.intervalMs);
    std::chrono::steady_clock::time_point next;
    for (int64_t n = 0; options.count == 0 || n < options.count; ++n) {
        if (n > 0 && !SleepUntil(next)) break;
        if (StopRequested()) break;
        next = std::chrono::steady_clock::now() + interval; // from the start of this read
        device::LiveReading reading;
        exceptionCode = 0;
        flags = device::ReadLiveValue(master, byteOrder, reading, exceptionCode);
        if (link::Succeeded(flags, exceptionCode)) {
            PrintReading(QDateTime::currentDateTime(), reading, units, options.json);
            continue;
        }
        // A reading that failed is said and the next one is tried: the exit code tells a script.
        try {
            line.check(flags, exceptionCode);
        } catch (const Failure& error) {
            PrintError(error.message());
            failure = error.code();
        }
    }
    return failure;
}

int RunInfo(const Options& options) {
    Line line(ResolveLine(options.line));
    line.open();
    records::InstrumentState state;
    uint8_t exceptionCode = 0;
    const link::ResultFlags flags = records::ReadInstrumentState(line.master(), state, exceptionCode, PauseMs);
    line.check(flags, exceptionCode);
    if (options.json) {
        PrintLine(StateJson(state));
        return Done;
    }
    for (const QString& text : StateLines(state))
        PrintLine(text);
    return Done;
}

} // namespace olv::cli
