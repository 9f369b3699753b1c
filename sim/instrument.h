#pragma once

#include "sim/sensor.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace olv::sim {

// Registers the instrument answers for: 0..62, 1024..1028 and 1034. Anything else is an illegal address.
bool IsMapped(int reg);
bool IsRangeMapped(int start, int count);

// The four byte orders of the live value (register 11). Returns register 16 and register 17 for a float
// given by its bits; codes outside 0..3 are sent as code 0.
std::array<uint16_t, 2> EncodeLiveWords(uint32_t floatBits, int byteOrder);

// Baud code of register 8 <-> bit/s; -1 / 0 when there is none.
int BaudCodeOf(int baudRate);
int BaudRateOf(int baudCode);

// Modbus exception codes the instrument sends.
enum ExceptionCode : uint8_t {
    IllegalFunction = 1,
    IllegalDataAddress = 2,
    IllegalDataValue = 3,
};

// One simulated pressure meter: its holding registers, the live value it measures and the Modbus
// slave logic over them. Pure: no I/O, time is passed in.
class Instrument {
  public:
    Instrument(); // the starting state of a freshly delivered meter

    // Stored register value; registers 15..17 come from the live measurement at `now`.
    uint16_t reg(int n, double now = 0.0) const;
    // Stores a value without any check (state files, tests). Unmapped registers are ignored.
    void setReg(int n, uint16_t value);

    int address() const { return stored(8) >> 8; }
    int baudCode() const { return stored(8) & 0xFF; }
    int baudRate() const { return BaudRateOf(baudCode()); }
    int parity() const { return stored(1034); }
    int byteOrder() const { return stored(11); }

    float rangeMax() const { return floatAt(18); }
    float rangeMin() const { return floatAt(20); }
    float trimOffset() const { return floatAt(59); }
    float trimMultiplier() const { return floatAt(61); }

    // The live measurement.
    void forceValue(float value);
    void forceValueBits(uint32_t bits);
    void releaseValue() { valueForced_ = false; }
    void forceStatus(uint16_t status) { statusForced_ = true, forcedStatus_ = status; }
    void releaseStatus() { statusForced_ = false; }
    void setPhase(double seconds) { phase_ = seconds; }
    bool valueForced() const { return valueForced_; }
    bool statusForced() const { return statusForced_; }
    uint32_t liveBits(double now) const; // the float sent, as bits

    // The sensor behind the live value: its error model and the pressure applied to it. Without an
    // applied pressure it follows a slow swing over 40 % of the range around its middle. A new pressure
    // or a new model starts a step from what the sensor measured at that moment.
    const SensorError& sensorError() const { return sensorError_; }
    void setSensorError(const SensorError& model, double now);
    void apply(double pressure, double now);
    void applyLive() { applied_.reset(); }
    std::optional<double> applied() const { return applied_; }
    // What the sensor measures at `now`, before the trim: the applied pressure through the error model.
    double sensed(double now) const;
    float liveValue(double now) const;
    uint16_t liveStatus(double now) const;

    // What serving one request did.
    struct Outcome {
        std::vector<uint8_t> pdu; // function code and data of the reply (without address and CRC)
        bool linkChanged = false; // register 8 or 1034 was written: address, rate or parity are new
        std::string note;         // for the log, e.g. "read 15+3" or "exception 2"
    };
    // Serves one request PDU (function code onwards, address and CRC stripped). Writes are applied
    // all or nothing; an exception reply leaves every register as it was.
    Outcome serve(const uint8_t* pdu, size_t length, double now);

    // Named state keys (state files, --set, the `set` command); `reg.N` sets a raw register.
    // Returns false with a reason for an unknown key or a value that does not fit.
    bool setKey(const std::string& key, const std::string& value, std::string& error);
    // Every state key with its value, then every mapped register as reg.N; feeding these lines back
    // through setKey gives the same registers.
    std::vector<std::pair<std::string, std::string>> dump(double now) const;

  private:
    uint16_t stored(int n) const { return regs_[static_cast<size_t>(n)]; }
    float floatAt(int n) const;
    void setFloatAt(int n, float value);
    uint8_t writeCheck(int start, const std::vector<uint16_t>& values) const;

    std::array<uint16_t, 1035> regs_{};
    bool valueForced_ = false;
    uint32_t forcedBits_ = 0;
    bool statusForced_ = false;
    uint16_t forcedStatus_ = 0;
    double phase_ = 0.0;

    double swing(double now) const;
    double errorModel(double pressure, int direction) const;
    double smooth(double now) const; // sensed() without the noise

    SensorError sensorError_;
    std::optional<double> applied_; // none: the swing
    double stepAt_ = 0;             // when the last step began
    double stepFrom_ = 0;           // what the sensor measured then, without noise
    int direction_ = 1;             // +1 after a rise of the applied pressure, -1 after a fall
};

} // namespace olv::sim
