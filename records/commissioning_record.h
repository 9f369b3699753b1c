#pragma once

#include "device/live_trend.h"
#include "device/live_value.h"
#include "records/instrument_state.h"
#include "records/visit.h"

#include <QDateTime>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

namespace olv::records {

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
    device::TrendStats trend; // of the live page's trend
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
// minimum, maximum and mean, the changes of the visit from the journal, the last calibration, and the
// engineer's name and the date beside the signature line. Every text from the instrument, the journal
// or the engineer is escaped.
QString RecordHtml(const RecordData& data, const QString& trendImage, QSize trendSize);

} // namespace olv::records
