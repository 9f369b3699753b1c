#pragma once

#include "device/instrument_identity.h"
#include "device/live_trend.h"
#include "device/live_value.h"
#include "records/instrument_state.h"
#include "records/visit.h"

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

#include <optional>
#include <vector>

namespace olv::records {

// The live page's trend as a record takes it: only readings of the instrument recorded.
struct RecordTrend {
    device::TrendStats stats;    // of the readings taken
    int64_t fromMs = 0;          // the first and the last reading taken (the trend's clock); 0 when none
    int64_t toMs = 0;
    QStringList leftOut;         // the other instruments whose readings were left out, in words
    bool anyTaken() const { return stats.count > 0; }
};

// The readings of every series of the trend whose instrument is the one recorded (SameInstrument; its
// serial number as just read) and decoded with byteOrder; the others are left out and named.
RecordTrend RecordTrendOf(const device::LiveTrend& trend, const device::InstrumentIdentity& recorded,
                          int byteOrder);

// The span from fromMs to toMs in words: "09.12.2026 10:40:12 – 10:42:30 (2 мин 18 с)"; the date of the
// end only when it is another day.
QString SpanText(int64_t fromMs, int64_t toMs);

// What a commissioning record of one instrument states.
struct RecordData {
    QString caption; // the window's caption, with the program's version
    QDateTime printedAt;
    QString port;
    QString devicePath;
    int address = 0;
    InstrumentState state; // read just before printing
    bool liveRead = false; // the live value was read for the record
    device::LiveReading live;
    device::TrendStats trend; // of the live page's trend (when trendOf is not set)
    // The trend as the record takes it; when set, it stands for `trend` and its span is printed.
    std::optional<RecordTrend> trendOf;
    QString documentNumber;    // none is printed when empty
    InstrumentSite site;       // where the instrument is installed
    QString person;            // who set it up: printed beside the signature line
    std::vector<JournalChange> visit;            // the journal's lines of this instrument today
    std::optional<JournalChange> lastCalibration; // its newest calibration line
};

// The record as HTML for a QTextDocument: its number, caption, date and time, port and address, the
// site and tag, identity, every configuration and communication field in words with its units, the
// text and versions, the live value with its status and units, the trend picture (the image resource
// named trendImage of trendSize pixels, none when empty or when the trend has no reading) with its
// the span its readings cover, their minimum, maximum and mean, a line for each other instrument whose
// readings were left out, the changes of the visit from the journal, the last calibration, and the
// engineer's name and the date beside the signature line. Every text from the instrument, the journal
// or the engineer is escaped.
QString RecordHtml(const RecordData& data, const QString& trendImage, QSize trendSize);

} // namespace olv::records
