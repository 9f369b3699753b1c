#pragma once

#include "calibration/procedure.h"
#include "calibration/results.h"
#include "calibration/trim.h"
#include "calibration/uncertainty.h"
#include "device/register_image.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace olv::calibration {

// The reference the meter was checked against, as the engineer describes it.
struct ReferenceInfo {
    QString description;    // e.g. "Калибратор давления, класс 0,02"
    QString serial;         // its serial number
    QString certificate;    // the number of its own calibration certificate
    double uncertainty = 0; // its stated expanded uncertainty (k = 2), in the range's units
    ReferenceMode mode = ReferenceMode::Typed;
    int address = 0; // of the reference meter, in ReferenceMode::Instrument
};

// What became of a trim: the values the instrument held before the check and those it holds after the
// write, as read back (never the values that were meant to be written).
struct TrimRecord {
    TrimKind kind = TrimKind::Zero;
    Trim before;
    std::optional<Trim> after; // none: the read-back after the write failed
    QString outcome;           // "записано", or what went wrong
};

// Everything a calibration certificate states.
struct CertificateData {
    QString caption; // the program and its version
    QString number;  // the certificate's number; none is printed when empty
    QDateTime when;  // local time of the check
    QString port;    // "COM1"
    QString devicePath;
    int address = 0;
    device::RegisterImage image; // the configuration, text and versions as read before the check
    Range range;
    ReferenceInfo reference;
    QString person;
    std::optional<double> ambientCelsius;
    Procedure procedure;
    std::vector<PointResult> asFound;
    std::optional<TrimRecord> trim;  // none: no trim was written ("без подстройки")
    std::vector<PointResult> asLeft; // empty when no check followed a trim
    std::optional<UncertaintyBudget> uncertainty;
};

// Whether the instrument holds another trim than before the check (or nobody knows what it holds).
bool TrimChanged(const CertificateData& data);

// The verdict on the instrument as it is left: the as-left table when there is one, else the as-found
// table when the trim is as it was; none when a trim was written and not checked afterwards.
std::optional<bool> FinalVerdict(const CertificateData& data);

// The uncertainty of the table that gives the verdict (as left when there is one, else as found): the
// reference's stated uncertainty, the step of the fourth decimal the meter is shown with, and the table's
// repeatability. None when the reference's uncertainty is negative or not a number.
std::optional<UncertaintyBudget> CertificateUncertainty(const CertificateData& data);

// The calibration in one line, for the journal and a terminal: each table's verdict with its largest
// error, and the trim as the instrument holds it, e.g. "до подстройки не годен (+1.115 %); подстройка
// по двум точкам: смещение 0.0100 → -0.0079, множитель 0.9800 → 0.9901; после подстройки годен (+0.012 %)".
QString CalibrationOutcomeText(const CertificateData& data);

// The certificate as HTML for a QTextDocument (the program prints it to PDF like the commissioning
// record): the instrument, range and units, the reference, the conditions and the person, the
// procedure, the as-found table with its verdict, the trim (old → new, or "без подстройки"), the
// as-left table with its verdict, the uncertainty with its formula, the conclusion and a signature
// line. Every text from the instrument or the engineer is escaped, so markup in it stays text.
QString CertificateHtml(const CertificateData& data);

// The tables as a spreadsheet file in Windows-1251 with CR LF line ends and ';' between fields (as the
// trend's table): a header line, then one line per step of the as-found and the as-left table: the
// table, the step's number, the point, the direction, the cycle, reference, reading, error, error in %
// of span, tolerance, units and the result. Numbers with the point as separator.
QByteArray CertificateCsv(const CertificateData& data);

} // namespace olv::calibration
