#pragma once

#include "device/live_trend.h"
#include "device/live_value.h"
#include "records/instrument_state.h"

#include <QDateTime>
#include <QSize>
#include <QString>

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
};

// The record as HTML for a QTextDocument: caption, date and time, port and address, identity, every
// configuration and communication field in words, the text and versions, the live value with its
// status and units, the trend picture (the image resource named trendImage of trendSize pixels, none
// when empty or when the trend has no reading) with its minimum, maximum and mean, and lines for the engineer
// and the signature.
QString RecordHtml(const RecordData& data, const QString& trendImage, QSize trendSize);

} // namespace olv::records
