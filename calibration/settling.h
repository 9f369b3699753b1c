#pragma once

#include "calibration/procedure.h"

#include <deque>
#include <optional>
#include <vector>

namespace olv::calibration {

// The settling rule applied to one stream of readings (the meter's, or the reference meter's), one
// reading per poll. It first waits until the last `window` readings lie within the band, then averages
// the next `meanCount` readings; a jump that takes the last `window` readings out of the band while it
// averages sends it back to waiting. A reading that is not a finite number breaks the run of readings:
// the window starts afresh after it.
class Settler {
  public:
    enum class Phase { Settling, Averaging, Done };

    Settler(const SettlingRule& rule, double span);

    // One reading; readings after Done change nothing.
    Phase add(double value);
    // Forgets every reading: the point is measured afresh (after a pause, or on a repeat).
    void restart();

    Phase phase() const { return phase_; }
    double band() const { return band_; }
    // The spread of the last `window` readings; none while fewer have come since the last break.
    std::optional<double> spread() const;
    // Readings in the window so far (at most `window`), and readings averaged so far.
    int windowCount() const { return static_cast<int>(window_.size()); }
    int averagedCount() const { return static_cast<int>(averaged_.size()); }
    // Readings that were not a number since the last restart.
    int invalidCount() const { return invalid_; }
    // Mean and sample standard deviation of the averaged readings (0 for one reading); NaN for none.
    double mean() const;
    double standardDeviation() const;

  private:
    bool windowSettled() const;

    SettlingRule rule_;
    double band_ = 0;
    double slack_ = 0;
    Phase phase_ = Phase::Settling;
    std::deque<double> window_;
    std::vector<double> averaged_;
    int invalid_ = 0;
};

} // namespace olv::calibration
