#pragma once

#include <cstdint>
#include <string>

namespace olv::sim {

// The errors of a simulated sensor. Zero, hysteresis and noise are in % of the span, gain in %, settle
// in seconds. What the sensor measures for an applied pressure P is
//     P × (1 + gain/100) + zero/100 × span  ∓ hysteresis/200 × span  + noise
// (the descending readings lie hysteresis % of span above the ascending ones), reached after a step of
// P along a first-order lag with the time constant `settle`; the noise is normal with the standard
// deviation `noise` % of span, drawn from `seed`.
struct SensorError {
    double zero = 0;
    double gain = 0;
    double hysteresis = 0;
    double noise = 0;
    double settle = 0;
    uint64_t seed = 1;
    bool operator==(const SensorError&) const = default;
};

// "zero=Z,gain=G,hysteresis=H,noise=S,settle=T,seed=N" with any of the keys in any order (the others are
// 0, the seed 1), or "off" for none. Noise, hysteresis and settle may not be negative. False with the
// reason for anything else; the model is then unchanged.
bool ParseSensorError(const std::string& text, SensorError& model, std::string& error);
// The model in that form, every key given.
std::string FormatSensorError(const SensorError& model);

// A standard normal number that depends only on its three arguments: the same seed, instrument and
// millisecond always give the same noise.
double NoiseSample(uint64_t seed, int address, int64_t millisecond);

} // namespace olv::sim
