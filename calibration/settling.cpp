#include "calibration/settling.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace olv::calibration {

Settler::Settler(const SettlingRule& rule, double span)
    : rule_(rule), band_(rule.bandUnits(span)), slack_(RoundingSlack * std::fabs(span)) {
    rule_.window = std::max(rule_.window, 1);
    rule_.meanCount = std::max(rule_.meanCount, 1);
}

void Settler::restart() {
    phase_ = Phase::Settling;
    window_.clear();
    averaged_.clear();
    invalid_ = 0;
}

std::optional<double> Settler::spread() const {
    if (window_.size() < static_cast<size_t>(rule_.window)) return std::nullopt;
    const auto [low, high] = std::minmax_element(window_.begin(), window_.end());
    return *high - *low;
}

bool Settler::windowSettled() const {
    const std::optional<double> s = spread();
    return s && *s <= band_ + slack_;
}

Settler::Phase Settler::add(double value) {
    if (phase_ == Phase::Done) return phase_;
    if (!std::isfinite(value)) {
        ++invalid_;
        window_.clear();
        averaged_.clear();
        return phase_ = Phase::Settling;
    }
    window_.push_back(value);
    while (window_.size() > static_cast<size_t>(rule_.window))
        window_.pop_front();

    if (phase_ == Phase::Averaging) {
        if (!windowSettled()) {
            averaged_.clear();
            return phase_ = Phase::Settling;
        }
        averaged_.push_back(value);
        if (averaged_.size() >= static_cast<size_t>(rule_.meanCount)) phase_ = Phase::Done;
        return phase_;
    }
    // The reading that completes a settled window is the last of the wait, not the first averaged.
    if (windowSettled()) phase_ = Phase::Averaging;
    return phase_;
}

double Settler::mean() const {
    if (averaged_.empty()) return std::nan("");
    return std::accumulate(averaged_.begin(), averaged_.end(), 0.0) / static_cast<double>(averaged_.size());
}

double Settler::standardDeviation() const {
    if (averaged_.empty()) return std::nan("");
    if (averaged_.size() == 1) return 0;
    const double m = mean();
    double sum = 0;
    for (double v : averaged_)
        sum += (v - m) * (v - m);
    return std::sqrt(sum / static_cast<double>(averaged_.size() - 1));
}

} // namespace olv::calibration
