// The simulated sensor: its error model, the applied pressure, settling and seeded noise.

#include "sim/line.h"
#include "sim/options.h"
#include "sim/sensor.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>

using namespace olv::sim;

namespace {

const double Span = 1.6f; // the starting range, 0 .. 1.6 МПа, as the registers hold it

SensorError Model(const std::string& text) {
    SensorError model;
    std::string error;
    EXPECT_TRUE(ParseSensorError(text, model, error)) << error;
    return model;
}

TEST(SensorError, ParsesAnySubsetOfItsKeys) {
    const SensorError m = Model("gain=-1.5,zero=0.5,hysteresis=0.2,noise=0.01,settle=3,seed=9");
    EXPECT_EQ(m, (SensorError{0.5, -1.5, 0.2, 0.01, 3, 9}));
    EXPECT_EQ(Model("zero=1"), (SensorError{1, 0, 0, 0, 0, 1})) << "keys left out are 0, the seed 1";
    EXPECT_EQ(Model("off"), SensorError{});
    EXPECT_EQ(Model(FormatSensorError(m)), m) << FormatSensorError(m);
    EXPECT_EQ(FormatSensorError(m), "zero=0.5,gain=-1.5,hysteresis=0.2,noise=0.01,settle=3,seed=9");

    for (const char* bad :
         {"", "zero", "zero=", "zero=x", "zero=1,", "span=1", "noise=-0.1", "settle=-1", "hysteresis=-1",
          "seed=-1", "seed=1.5", "zero=nan", "gain=inf", "zero=1e400", "zero=0.5 ", "zero=1,,gain=2"}) {
        SensorError kept{1, 2, 3, 4, 5, 6};
        std::string error;
        EXPECT_FALSE(ParseSensorError(bad, kept, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(kept, (SensorError{1, 2, 3, 4, 5, 6})) << "a refused model changes nothing: " << bad;
    }
}

TEST(Sensor, WithoutErrorsTheSwingIsAsBefore) {
    Instrument inst;
    inst.setPhase(3.0);
    std::string error;
    ASSERT_TRUE(inst.setKey("trim_offset", "0.01", error));
    for (double now : {0.0, 7.3, 21.0, 39.9}) {
        const double swing = 0.0 + Span * (0.5 + 0.4 * std::sin(2.0 * std::numbers::pi * (now + 3.0) / 40.0));
        EXPECT_EQ(inst.liveValue(now), static_cast<float>(swing * 1.0f + 0.01f)) << now;
    }
}

TEST(Sensor, MeasuresTheAppliedPressureThroughGainAndZeroThenTheTrim) {
    Instrument inst;
    inst.setSensorError(Model("zero=0.5,gain=2"), 0);
    inst.apply(0.8, 1.0);
    EXPECT_NEAR(inst.sensed(2.0), 0.8 * 1.02 + 0.005 * Span, 1e-12);
    // The instrument sends what it measured × multiplier + offset.
    std::string error;
    ASSERT_TRUE(inst.setKey("trim_multiplier", "0.98", error));
    ASSERT_TRUE(inst.setKey("trim_offset", "-0.01", error));
    EXPECT_NEAR(inst.liveValue(2.0), (0.8 * 1.02 + 0.008) * 0.98f - 0.01f, 1e-6);
    EXPECT_EQ(inst.liveStatus(2.0), 0);
    inst.apply(1.7, 3.0);
    EXPECT_EQ(inst.liveStatus(3.0), 0x0080) << "the status follows the applied pressure";
    inst.apply(-0.1, 4.0);
    EXPECT_EQ(inst.liveStatus(4.0), 0x0040);

    // A correct two-point trim takes the errors out.
    ASSERT_TRUE(inst.setKey("trim_multiplier", std::to_string(1 / 1.02), error));
    ASSERT_TRUE(inst.setKey("trim_offset", std::to_string(-0.008 / 1.02), error));
    for (double p : {0.0, 0.4, 1.6}) {
        inst.apply(p, 5.0);
        EXPECT_NEAR(inst.liveValue(5.0), p, 1e-6) << p;
    }
    inst.applyLive();
    EXPECT_FALSE(inst.applied());
}

TEST(Sensor, DescendingReadingsLieTheHysteresisAboveAscendingOnes) {
    Instrument inst;
    inst.setSensorError(Model("hysteresis=0.5"), 0);
    inst.apply(0, 0);
    inst.apply(0.8, 1); // rising
    const double up = inst.sensed(1);
    inst.apply(1.6, 2);
    inst.apply(0.8, 3); // falling
    const double down = inst.sensed(3);
    EXPECT_NEAR(down - up, 0.005 * Span, 1e-12);
    EXPECT_NEAR((up + down) / 2, 0.8, 1e-12);
    inst.apply(0.8, 4); // the same pressure again keeps the direction
    EXPECT_NEAR(inst.sensed(4), down, 1e-12);
}

TEST(Sensor, SettlesAlongAFirstOrderLag) {
    Instrument inst;
    inst.apply(0, 0);
    inst.setSensorError(Model("settle=2"), 5); // the lag starts where the sensor stands: at 0
    EXPECT_EQ(inst.sensed(5), 0.0);
    inst.apply(0.8, 10);
    EXPECT_NEAR(inst.sensed(10), 0.0, 1e-9);
    EXPECT_NEAR(inst.sensed(12), 0.8 * (1 - std::exp(-1.0)), 1e-9);
    EXPECT_NEAR(inst.sensed(40), 0.8, 1e-6);
    // A new step starts from where the lag had come to.
    inst.apply(0.4, 12);
    EXPECT_NEAR(inst.sensed(12), 0.8 * (1 - std::exp(-1.0)), 1e-9);
    EXPECT_NEAR(inst.sensed(14), 0.4 + (0.8 * (1 - std::exp(-1.0)) - 0.4) * std::exp(-1.0), 1e-9);
}

TEST(Sensor, NoiseIsSeededAndHasTheStandardDeviationAsked) {
    Instrument a, b, c;
    a.setSensorError(Model("noise=0.1,seed=5"), 0);
    b.setSensorError(Model("noise=0.1,seed=5"), 0);
    c.setSensorError(Model("noise=0.1,seed=6"), 0);
    for (Instrument* inst : {&a, &b, &c})
        inst->apply(0.8, 0);
    double sum = 0, squares = 0;
    int differ = 0;
    const int n = 20000;
    for (int ms = 0; ms < n; ++ms) {
        const double t = ms / 1000.0;
        ASSERT_EQ(a.sensed(t), b.sensed(t)) << ms;
        differ += a.sensed(t) != c.sensed(t);
        ASSERT_EQ(a.sensed(t), a.sensed(t + 0.0004)) << "one sample a millisecond, whatever asks within it";
        const double e = a.sensed(t) - 0.8;
        sum += e;
        squares += e * e;
    }
    EXPECT_GT(differ, n - 10);
    const double mean = sum / n, sd = std::sqrt(squares / n - mean * mean);
    EXPECT_NEAR(mean, 0, 0.0001 * Span * 0.05);
    EXPECT_NEAR(sd, 0.001 * Span, 0.001 * Span * 0.05);
    // Two instruments with one seed still have noise of their own.
    std::string error;
    ASSERT_TRUE(b.setKey("address", "2", error));
    EXPECT_NE(a.sensed(1.0), b.sensed(1.0));
}

TEST(SensorCommands, ApplyAndSensorErrorPickTheirMeter) {
    Instrument second;
    std::string error;
    ASSERT_TRUE(second.setKey("address", "2", error));
    Line line({Instrument(), second});
    EXPECT_EQ(line.command("sensor-error zero=1,noise=0", 0),
              "ok sensor-error zero=1,gain=0,hysteresis=0,noise=0,settle=0,seed=1\n");
    EXPECT_EQ(line.command("apply 0.4", 1), "ok apply 0.400000006\n");
    EXPECT_EQ(line.command("@2 apply 1.2", 1), "ok apply 1.20000005\n");
    EXPECT_NEAR(line.instruments()[0].liveValue(2), 0.4 + 0.016, 1e-6);
    EXPECT_NEAR(line.instruments()[1].liveValue(2), 1.2, 1e-6) << "the other meter has no errors";
    EXPECT_EQ(line.command("@2 sensor-error", 2),
              "ok sensor-error zero=0,gain=0,hysteresis=0,noise=0,settle=0,seed=1\n");

    const auto dump = line.command("dump", 2);
    EXPECT_NE(dump.find("\nsensor_error=zero=1,gain=0,"), std::string::npos) << dump;
    EXPECT_NE(dump.find("\napplied=0.400000006\n"), std::string::npos) << dump;

    for (const char* bad : {"apply", "apply x", "apply nan", "apply inf", "apply 1 2", "sensor-error zero=x",
                            "sensor-error zero=1 gain=2", "@9 apply 1"})
        EXPECT_EQ(line.command(bad, 3).rfind("error ", 0), 0u) << bad;
    EXPECT_NEAR(line.instruments()[0].liveValue(3), 0.416, 1e-6) << "refused commands change nothing";

    EXPECT_EQ(line.command("apply live", 3), "ok apply live\n");
    EXPECT_FALSE(line.instruments()[0].applied());
    EXPECT_EQ(line.command("sensor-error off", 3).rfind("ok sensor-error zero=0,", 0), 0u);
}

TEST(SensorOptions, SetTheErrorsOfEveryInstrument) {
    Options options;
    std::string error;
    ASSERT_TRUE(
        ParseOptions({"--sensor-error", "zero=0.5,gain=1,noise=0.01,seed=3", "--instruments-range", "1-3"},
                     options, error))
        << error;
    ASSERT_EQ(options.instruments.size(), 3u);
    for (const Instrument& inst : options.instruments)
        EXPECT_EQ(inst.sensorError(), (SensorError{0.5, 1, 0, 0.01, 0, 3}));
    Options refused;
    EXPECT_FALSE(ParseOptions({"--sensor-error", "zero=bad"}, refused, error));
    EXPECT_NE(error.find("zero"), std::string::npos) << error;
    EXPECT_FALSE(ParseOptions({"--sensor-error"}, refused, error));
    EXPECT_NE(std::string(UsageText).find("--sensor-error"), std::string::npos);
    EXPECT_NE(std::string(UsageText).find("apply P|live"), std::string::npos);
}

} // namespace
