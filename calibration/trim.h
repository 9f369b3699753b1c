#pragma once

#include "calibration/results.h"
#include "device/page_writes.h"

#include <QString>

#include <array>
#include <optional>
#include <cstdint>
#include <vector>

namespace olv::calibration {

// The meter's trim (registers 59..62): it sends what its sensor measured × multiplier + offset.
struct Trim {
    float offset = 0;
    float multiplier = 1;
    bool operator==(const Trim&) const = default;
};

// Registers 59, 60 (offset) and 61, 62 (multiplier) as the instrument holds them: each float's bits
// 31..16 in the first register, 15..0 in the second.
std::array<uint16_t, 4> TrimWords(const Trim& trim);
Trim TrimFromWords(const uint16_t* words4);

// The trim a write of registers 59..62 read back; none when any of the four was not read back.
std::optional<Trim> TrimReadBack(const device::PageWriteResult& result);

// A reference value with the meter's reading at it (the reading as sent, with the current trim in it).
struct TrimPoint {
    double reference = 0;
    double reading = 0;
};

enum class TrimKind {
    Zero,     // one point: a new offset, the multiplier kept
    TwoPoint, // a low and a high point: a new offset and multiplier
};

// "подстройка нуля" / "подстройка по двум точкам".
QString TrimKindName(TrimKind kind);

// A trim worked out from readings.
struct TrimProposal {
    TrimKind kind = TrimKind::Zero;
    bool ok = false;
    QString refusal; // why there is no proposal, in words, when !ok
    Trim current;
    Trim proposed; // rounded to single precision, as it will be written
    // A large change: a multiplier outside 0.9..1.1, or an offset that moves by more than 5 % of the span.
    // The engineer must confirm it before it is written; `confirmation` says what is large.
    bool needsConfirmation = false;
    QString confirmation;
};

// Works out a new trim from readings that carry the current one. What the sensor measured is recovered
// as (reading - offset) / multiplier; the new pair then sends the reference at each point. Refused:
// a span that is not above zero, a current trim that is not finite or has a multiplier of 0, a reading
// or reference that is not finite, two points closer than 10 % of the span, a result that is not finite
// in single precision, a new multiplier of zero or below.
TrimProposal ZeroTrim(const Trim& current, const TrimPoint& point, double span);
TrimProposal TwoPointTrim(const Trim& current, const TrimPoint& low, const TrimPoint& high, double span);

// The proposal from a table of as-found results: the zero trim at the lowest point, the two-point trim
// at the lowest and the highest; each point's reference and reading are the means of its accepted
// results (every cycle and direction).
TrimProposal ProposeTrim(TrimKind kind, const Trim& current, const std::vector<PointResult>& asFound,
                         double span);

// What the meter would send for a reading taken under `current` once `proposed` is written.
double ReadingUnder(const Trim& proposed, const Trim& current, double reading);

// The results as they would have been under the proposed trim (errors, percentages and verdicts
// worked out again); skipped results stay skipped.
std::vector<PointResult> ExpectedResults(const std::vector<PointResult>& results, const Trim& current,
                                         const Trim& proposed, const Tolerance& tolerance, double span);

} // namespace olv::calibration
