#include "sim/instrument.h"

#include "sim/text_values.h"

#include "device/register_map.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace olv::sim {

namespace {

constexpr int TextFirst = 48;
constexpr int TextBytes = 16;

// The measured registers are computed, not stored: a write to them is accepted and has no effect.
bool IsMeasured(int reg) {
    return reg >= 15 && reg <= 17;
}

std::string Hex4(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

} // namespace

bool IsMapped(int reg) {
    return (reg >= 0 && reg <= 62) || (reg >= 1024 && reg <= 1028) || reg == 1034;
}

bool IsRangeMapped(int start, int count) {
    for (int r = start; r < start + count; ++r)
        if (!IsMapped(r)) return false;
    return true;
}

std::array<uint16_t, 2> EncodeLiveWords(uint32_t bits, int byteOrder) {
    const uint16_t high = static_cast<uint16_t>(bits >> 16);
    const uint16_t low = static_cast<uint16_t>(bits);
    auto swapped = [](uint16_t w) { return static_cast<uint16_t>((w << 8) | (w >> 8)); };
    switch (byteOrder) {
    case 1:
        return {low, high};
    case 2:
        return {swapped(high), swapped(low)};
    case 3:
        return {swapped(low), swapped(high)};
    default:
        return {high, low};
    }
}

int BaudCodeOf(int baudRate) {
    for (size_t i = 0; i < device::BaudRates.size(); ++i)
        if (device::BaudRates[i] == baudRate) return static_cast<int>(i);
    return -1;
}

int BaudRateOf(int baudCode) {
    return baudCode >= 0 && baudCode < static_cast<int>(device::BaudRates.size())
               ? device::BaudRates[static_cast<size_t>(baudCode)]
               : 0;
}

Instrument::Instrument() {
    regs_[0] = 150;    // model
    regs_[1] = 2;      // model code
    regs_[2] = 0x0001; // serial number 123456
    regs_[3] = 0xE240;
    regs_[4] = 0x0404;           // kept word
    regs_[5] = (15 << 8) | 0x37; // 15.03.2007
    regs_[8] = (1 << 8) | 4;     // address 1, 19200 bit/s
    regs_[9] = (2 << 8) | 1;     // damping "4", units "МПа"
    regs_[10] = 0x0A0A;          // kept word
    regs_[11] = 0;               // byte order 0 1 2 3
    setFloatAt(18, 1.6f);        // range 0 .. 1.6 MPa
    setFloatAt(20, 0.0f);
    for (int r = 36; r <= 47; ++r) // kept words, distinct so that a lost one shows
        regs_[static_cast<size_t>(r)] = static_cast<uint16_t>(0x3600 + r);
    std::string error;
    setKey("text", "Датчик давления ", error);
    regs_[58] = 1;        // the sensor measures in МПа
    setFloatAt(59, 0.0f); // trim offset
    setFloatAt(61, 1.0f); // trim multiplier
    regs_[1024] = 256;
    regs_[1027] = 0;
    regs_[1028] = 107;
    regs_[1034] = 2; // even parity
}

uint16_t Instrument::reg(int n, double now) const {
    if (!IsMapped(n)) return 0;
    if (n == 15) return liveStatus(now);
    if (n == 16 || n == 17) return EncodeLiveWords(liveBits(now), byteOrder())[static_cast<size_t>(n - 16)];
    return stored(n);
}

void Instrument::setReg(int n, uint16_t value) {
    if (IsMapped(n)) regs_[static_cast<size_t>(n)] = value;
}

float Instrument::floatAt(int n) const {
    return std::bit_cast<float>(static_cast<uint32_t>(stored(n)) << 16 | stored(n + 1));
}

void Instrument::setFloatAt(int n, float value) {
    const auto bits = std::bit_cast<uint32_t>(value);
    regs_[static_cast<size_t>(n)] = static_cast<uint16_t>(bits >> 16);
    regs_[static_cast<size_t>(n + 1)] = static_cast<uint16_t>(bits);
}

void Instrument::forceValue(float value) {
    forceValueBits(std::bit_cast<uint32_t>(value));
}

void Instrument::forceValueBits(uint32_t bits) {
    valueForced_ = true;
    forcedBits_ = bits;
}

double Instrument::swing(double now) const {
    const double lo = rangeMin(), hi = rangeMax();
    return lo + (hi - lo) * (0.5 + 0.4 * std::sin(2.0 * std::numbers::pi * (now + phase_) / 40.0));
}

double Instrument::errorModel(double pressure, int direction) const {
    const double span = static_cast<double>(rangeMax()) - rangeMin();
    const SensorError& e = sensorError_;
    return pressure * (1.0 + e.gain / 100.0) + e.zero / 100.0 * span - direction * e.hysteresis / 200.0 * span;
}

double Instrument::smooth(double now) const {
    if (!applied_) {
        // The swing rises while its sine does.
        const bool rising = std::cos(2.0 * std::numbers::pi * (now + phase_) / 40.0) >= 0;
        return errorModel(swing(now), rising ? 1 : -1);
    }
    const double target = errorModel(*applied_, direction_);
    const double t = sensorError_.settle;
    if (t <= 0) return target;
    if (now <= stepAt_) return stepFrom_;
    return target + (stepFrom_ - target) * std::exp(-(now - stepAt_) / t);
}

double Instrument::sensed(double now) const {
    double value = smooth(now);
    if (sensorError_.noise > 0) {
        const double span = static_cast<double>(rangeMax()) - rangeMin();
        value += sensorError_.noise / 100.0 * span *
                 NoiseSample(sensorError_.seed, address(), std::llround(now * 1000.0));
    }
    return value;
}

void Instrument::setSensorError(const SensorError& model, double now) {
    stepFrom_ = smooth(now);
    stepAt_ = now;
    sensorError_ = model;
}

void Instrument::apply(double pressure, double now) {
    const double before = applied_ ? *applied_ : swing(now);
    stepFrom_ = smooth(now);
    stepAt_ = now;
    if (pressure > before) direction_ = 1;
    if (pressure < before) direction_ = -1;
    applied_ = pressure;
}

uint32_t Instrument::liveBits(double now) const {
    if (valueForced_) return forcedBits_;
    // What the sensor measures, then the trim as the instrument applies it.
    const double sent = sensed(now) * trimMultiplier() + trimOffset();
    return std::bit_cast<uint32_t>(static_cast<float>(sent));
}

float Instrument::liveValue(double now) const {
    return std::bit_cast<float>(liveBits(now));
}

uint16_t Instrument::liveStatus(double now) const {
    if (statusForced_) return forcedStatus_;
    const float v = liveValue(now);
    const float lo = std::min(rangeMin(), rangeMax()), hi = std::max(rangeMin(), rangeMax());
    if (v < lo) return 0x0040;
    if (v > hi) return 0x0080;
    return 0;
}

uint8_t Instrument::writeCheck(int start, const std::vector<uint16_t>& values) const {
    for (size_t i = 0; i < values.size(); ++i) {
        const int r = start + static_cast<int>(i);
        const uint16_t v = values[i];
        // Address 0 is the broadcast address: an instrument set to it could never be reached again.
        if (r == 8 && ((v >> 8) == 0 || (v & 0xFF) > 5)) return IllegalDataValue;
        if (r == 11 && v > 3) return IllegalDataValue;
        if (r == 1034 && v > 2) return IllegalDataValue;
    }
    return 0;
}

Instrument::Outcome Instrument::serve(const uint8_t* pdu, size_t length, double now) {
    Outcome out;
    const uint8_t function = length > 0 ? pdu[0] : 0;
    auto exception = [&](uint8_t code) {
        out.pdu = {static_cast<uint8_t>(function | 0x80), code};
        out.note = "exception " + std::to_string(code);
        return out;
    };
    if (function != 3 && function != 16) return exception(IllegalFunction);
    if (length < 5) return exception(IllegalDataValue);
    const int start = pdu[1] << 8 | pdu[2];
    const int count = pdu[3] << 8 | pdu[4];

    if (function == 3) {
        if (length != 5 || count < 1 || count > 125) return exception(IllegalDataValue);
        if (!IsRangeMapped(start, count)) return exception(IllegalDataAddress);
        out.pdu = {3, static_cast<uint8_t>(2 * count)};
        for (int r = start; r < start + count; ++r) {
            const uint16_t v = reg(r, now);
            out.pdu.push_back(static_cast<uint8_t>(v >> 8));
            out.pdu.push_back(static_cast<uint8_t>(v));
        }
        out.note = "read " + std::to_string(start) + "+" + std::to_string(count);
        return out;
    }

    if (length < 6 || count < 1 || count > 123 || pdu[5] != 2 * count || length != 6u + pdu[5])
        return exception(IllegalDataValue);
    if (!IsRangeMapped(start, count)) return exception(IllegalDataAddress);
    std::vector<uint16_t> values;
    for (int i = 0; i < count; ++i)
        values.push_back(static_cast<uint16_t>(pdu[6 + 2 * i] << 8 | pdu[7 + 2 * i]));
    if (const uint8_t code = writeCheck(start, values)) return exception(code);
    for (int i = 0; i < count; ++i) {
        const int r = start + i;
        if (IsMeasured(r)) continue;
        regs_[static_cast<size_t>(r)] = values[static_cast<size_t>(i)];
        if (r == 8 || r == 1034) out.linkChanged = true;
    }
    out.pdu.assign(pdu, pdu + 5);
    out.note = "write " + std::to_string(start) + "+" + std::to_string(count);
    return out;
}

bool Instrument::setKey(const std::string& key, const std::string& value, std::string& error) {
    auto fail = [&](const std::string& why) {
        error = key + ": " + why;
        return false;
    };
    long long n = 0;
    auto integer = [&](long long lo, long long hi) {
        if (!ParseInteger(value, n)) return fail("not an integer: " + value);
        if (n < lo || n > hi) return fail("out of range: " + value);
        return true;
    };
    float f = 0;
    auto real = [&] { return ParseFloat(value, f) || fail("not a number: " + value); };
    auto word = [&](int r) {
        if (!integer(0, 0xFFFF)) return false;
        regs_[static_cast<size_t>(r)] = static_cast<uint16_t>(n);
        return true;
    };
    auto highByte = [&](int r) {
        if (!integer(0, 255)) return false;
        regs_[static_cast<size_t>(r)] = static_cast<uint16_t>(n << 8 | (stored(r) & 0xFF));
        return true;
    };
    auto lowByte = [&](int r) {
        if (!integer(0, 255)) return false;
        regs_[static_cast<size_t>(r)] = static_cast<uint16_t>((stored(r) & 0xFF00) | n);
        return true;
    };
    auto realAt = [&](int r) {
        if (!real()) return false;
        setFloatAt(r, f);
        return true;
    };

    if (key.rfind("reg.", 0) == 0) {
        int r = 0;
        if (!ParseRegister(key.substr(4), r) || !IsMapped(r)) return fail("no such register");
        return word(r);
    }
    if (key == "model") return word(0);
    if (key == "model_code") return word(1);
    if (key == "serial") {
        if (!integer(INT32_MIN, UINT32_MAX)) return false;
        const auto bits = static_cast<uint32_t>(n);
        regs_[2] = static_cast<uint16_t>(bits >> 16);
        regs_[3] = static_cast<uint16_t>(bits);
        return true;
    }
    if (key == "date") {
        int day = 0, month = 0, year = 0;
        char tail = 0;
        if (std::sscanf(value.c_str(), "%d.%d.%d%c", &day, &month, &year, &tail) != 3 || day < 1 ||
            day > 31 || month < 1 || month > 12 || year < 2000 || year > 2015)
            return fail("expected D.M.YYYY with a year 2000..2015: " + value);
        regs_[5] = static_cast<uint16_t>(day << 8 | month << 4 | (year - 2000));
        return true;
    }
    if (key == "address" || key == "addr") {
        if (!integer(1, 255)) return false;
        regs_[8] = static_cast<uint16_t>(n << 8 | baudCode());
        return true;
    }
    if (key == "baud") {
        if (!integer(0, 1000000)) return false;
        const int code = BaudCodeOf(static_cast<int>(n));
        if (code < 0) return fail("not one of 1200, 2400, 4800, 9600, 19200, 38400");
        regs_[8] = static_cast<uint16_t>((stored(8) & 0xFF00) | code);
        return true;
    }
    if (key == "parity") {
        const int code = ParityCodeOf(value);
        if (code < 0) return fail("expected 0..2, N, O, E, none, odd or even: " + value);
        regs_[1034] = static_cast<uint16_t>(code);
        return true;
    }
    if (key == "damping") return highByte(9);
    if (key == "units") return lowByte(9);
    if (key == "byte_order") return integer(0, 3) && word(11);
    if (key == "range_max") return realAt(18);
    if (key == "range_min") return realAt(20);
    if (key == "text") {
        QByteArray bytes = UnescapeText(value);
        if (bytes.size() > TextBytes) return fail("longer than 16 characters");
        bytes = bytes.leftJustified(TextBytes, ' ');
        for (int i = 0; i < TextBytes / 2; ++i)
            regs_[static_cast<size_t>(TextFirst + i)] = static_cast<uint16_t>(
                static_cast<uint8_t>(bytes[2 * i]) << 8 | static_cast<uint8_t>(bytes[2 * i + 1]));
        return true;
    }
    if (key == "sensor_units") return word(58);
    if (key == "trim_offset") return realAt(59);
    if (key == "trim_multiplier") return realAt(61);
    if (key == "module_model") return word(1024);
    if (key == "hw_version") return word(1027);
    if (key == "sw_version") return word(1028);
    if (key == "value") {
        if (value == "live") {
            releaseValue();
            return true;
        }
        if (!real()) return false;
        forceValue(f);
        return true;
    }
    if (key == "value_raw") {
        if (!ParseHex(value, n) || n < 0 || n > UINT32_MAX)
            return fail("expected the float's bits in hex, e.g. 7FC00000");
        forceValueBits(static_cast<uint32_t>(n));
        return true;
    }
    if (key == "status") {
        if (value == "auto") {
            releaseStatus();
            return true;
        }
        if (!integer(0, 0xFFFF)) return false;
        forceStatus(static_cast<uint16_t>(n));
        return true;
    }
    if (key == "phase") {
        if (!real()) return false;
        phase_ = f;
        return true;
    }
    if (key == "sensor_error") {
        SensorError model;
        std::string why;
        if (!ParseSensorError(value, model, why)) return fail(why);
        sensorError_ = model;
        return true;
    }
    // Dumped for reading; measured or set by a command (`apply`), not by a key.
    if (key == "live_value" || key == "live_status" || key == "applied") return true;
    return fail("unknown key");
}

std::vector<std::pair<std::string, std::string>> Instrument::dump(double now) const {
    std::vector<std::pair<std::string, std::string>> out;
    auto num = [](long long v) { return std::to_string(v); };
    out.emplace_back("model", num(stored(0)));
    out.emplace_back("model_code", num(stored(1)));
    out.emplace_back("serial", num(static_cast<int32_t>(static_cast<uint32_t>(stored(2)) << 16 | stored(3))));
    out.emplace_back("date", num(stored(5) >> 8) + "." + num((stored(5) >> 4) & 0x0F) + "." +
                                 num(2000 + (stored(5) & 0x0F)));
    out.emplace_back("address", num(address()));
    out.emplace_back("baud", num(baudRate()));
    out.emplace_back("parity", num(parity()));
    out.emplace_back("damping", num(stored(9) >> 8));
    out.emplace_back("units", num(stored(9) & 0xFF));
    out.emplace_back("byte_order", num(byteOrder()));
    out.emplace_back("range_max", FormatFloat(rangeMax()));
    out.emplace_back("range_min", FormatFloat(rangeMin()));
    QByteArray text;
    for (int i = 0; i < TextBytes / 2; ++i) {
        text.append(static_cast<char>(stored(TextFirst + i) >> 8));
        text.append(static_cast<char>(stored(TextFirst + i) & 0xFF));
    }
    out.emplace_back("text", EscapeText(text));
    out.emplace_back("sensor_units", num(stored(58)));
    out.emplace_back("trim_offset", FormatFloat(trimOffset()));
    out.emplace_back("trim_multiplier", FormatFloat(trimMultiplier()));
    out.emplace_back("module_model", num(stored(1024)));
    out.emplace_back("hw_version", num(stored(1027)));
    out.emplace_back("sw_version", num(stored(1028)));
    if (valueForced_) out.emplace_back("value_raw", Hex4(forcedBits_));
    if (statusForced_) out.emplace_back("status", num(forcedStatus_));
    out.emplace_back("sensor_error", FormatSensorError(sensorError_));
    out.emplace_back("applied", applied_ ? FormatFloat(static_cast<float>(*applied_)) : std::string("live"));
    out.emplace_back("live_value", FormatFloat(liveValue(now)));
    out.emplace_back("live_status", num(liveStatus(now)));
    for (int r = 0; r <= 1034; ++r)
        if (IsMapped(r)) out.emplace_back("reg." + num(r), num(reg(r, now)));
    return out;
}

} // namespace olv::sim
