#pragma once

#include <QString>

#include <vector>

namespace olv::calibration {

// The configured measuring range (registers 20..21 minimum, 18..19 maximum) with the units of the value
// the meter sends (register 9, low byte): the units of every test point, reading, error and trim.
struct Range {
    double minimum = 0;
    double maximum = 0;
    QString units;
    double span() const { return maximum - minimum; }
    // Finite bounds with the maximum above the minimum: a span every percentage can be taken of.
    bool valid() const;
};

// Differences this small against the span are rounding of the readings (single-precision floats)
// rather than measurement: an error or a spread that equals its limit up to them is taken as equal.
inline constexpr double RoundingSlack = 1e-6;

// A tolerance in % of span (the usual way), or in the meter's units.
struct Tolerance {
    double value = 0.25;
    bool inUnits = false;
    double units(double span) const { return inUnits ? value : value * span / 100.0; }
    double percent(double span) const { return inUnits ? value / span * 100.0 : value; }
};

// When a point's readings count as settled: the spread (largest minus smallest) of the last `window`
// readings lies within the band; then the mean of the next `meanCount` readings is the point's
// reading. The defaults suit a poll once a second: five seconds of steady readings, five more
// averaged, two minutes at most.
struct SettlingRule {
    int window = 5;
    double band = 0.05; // % of span, or units when bandInUnits
    bool bandInUnits = false;
    int meanCount = 5;
    int timeoutSeconds = 120; // waiting longer for a point gives it up (it is not accepted)
    double bandUnits(double span) const { return bandInUnits ? band : band * span / 100.0; }
};

// Where the reference value of a point comes from.
enum class ReferenceMode {
    Typed,      // the engineer types what the reference shows
    Instrument, // a reference meter on the same line at another address, read with every poll
    Applied,    // the point's own value, as a pressure controller applied it
};

// A check of the meter: its test points and how each is taken.
struct Procedure {
    std::vector<double> points; // in the range's units; any order, taken ascending
    bool descending = false;    // after the ascending series, the points below the top downwards
    int cycles = 1;             // the whole series this many times (repeatability)
    Tolerance tolerance;
    SettlingRule settling;
    ReferenceMode reference = ReferenceMode::Typed;
};

inline constexpr int MaxPoints = 21;
inline constexpr int MaxCycles = 10;

// 0, 25, 50, 75 and 100 % of the range.
std::vector<double> DefaultPoints(const Range& range);
Procedure DefaultProcedure(const Range& range);

// Why the procedure cannot be run on this range, in words; empty when it can. Points must be finite,
// distinct, no more than MaxPoints, and lie within the range or less than 10 % of the span beyond it;
// 1..MaxCycles cycles; a tolerance and a band above zero; at least 2 readings to settle, 1 to average,
// a time-out of at least a second.
QString CheckProcedure(const Procedure& procedure, const Range& range);

enum class Direction { Up, Down };

// One measurement of the run: a point (its index among the points in ascending order), the direction
// the pressure came from, and the cycle (from 0).
struct Step {
    int point = 0;
    double nominal = 0;
    Direction direction = Direction::Up;
    int cycle = 0;
    bool operator==(const Step&) const = default;
};

// The steps of a procedure in the order they are taken: per cycle the points ascending, then with
// `descending` the points below the top in descending order. Nothing for a procedure without points.
std::vector<Step> BuildSteps(const Procedure& procedure);

// The points in ascending order, as the steps number them.
std::vector<double> SortedPoints(const Procedure& procedure);

// "прямой" / "обратный".
QString DirectionName(Direction direction);

} // namespace olv::calibration
