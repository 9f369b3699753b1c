#include "sim/sensor.h"

#include "sim/text_values.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace olv::sim {

bool ParseSensorError(const std::string& text, SensorError& model, std::string& error) {
    if (text == "off" || text == "none") {
        model = SensorError{};
        return true;
    }
    SensorError parsed;
    for (const std::string& item : Split(text, ',')) {
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq == std::string::npos ? item.size() : eq);
        const std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
        if (key == "seed") {
            long long seed = 0;
            if (!ParseInteger(value, seed) || seed < 0) {
                error = "sensor error: seed takes a whole number 0 or above: " + value;
                return false;
            }
            parsed.seed = static_cast<uint64_t>(seed);
            continue;
        }
        double* field = key == "zero"         ? &parsed.zero
                        : key == "gain"       ? &parsed.gain
                        : key == "hysteresis" ? &parsed.hysteresis
                        : key == "noise"      ? &parsed.noise
                        : key == "settle"     ? &parsed.settle
                                              : nullptr;
        if (!field) {
            error =
                "sensor error: expected zero=, gain=, hysteresis=, noise=, settle=, seed= or off: " + item;
            return false;
        }
        double f = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), f);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size() || !std::isfinite(f) ||
            std::fabs(f) > 1e6) {
            error = "sensor error: " + key + " is not a number: " + value;
            return false;
        }
        if (f < 0 && field != &parsed.zero && field != &parsed.gain) {
            error = "sensor error: " + key + " cannot be negative: " + value;
            return false;
        }
        *field = f;
    }
    model = parsed;
    return true;
}

std::string FormatSensorError(const SensorError& m) {
    auto num = [](double v) {
        char text[32];
        return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
    };
    return "zero=" + num(m.zero) + ",gain=" + num(m.gain) + ",hysteresis=" + num(m.hysteresis) +
           ",noise=" + num(m.noise) + ",settle=" + num(m.settle) + ",seed=" + std::to_string(m.seed);
}

namespace {

// splitmix64: a well-mixed 64-bit number from any 64-bit input.
uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A uniform number in (0, 1), never 0, from the top 53 bits.
double Uniform(uint64_t bits) {
    return (static_cast<double>(bits >> 11) + 0.5) / 9007199254740992.0;
}

} // namespace

double NoiseSample(uint64_t seed, int address, int64_t millisecond) {
    const uint64_t a =
        Mix(seed ^ Mix(static_cast<uint64_t>(address) ^ Mix(static_cast<uint64_t>(millisecond))));
    const uint64_t b = Mix(a);
    // Box–Muller.
    return std::sqrt(-2.0 * std::log(Uniform(a))) * std::cos(2.0 * std::numbers::pi * Uniform(b));
}

} // namespace olv::sim
