// The trend chart on its own: whatever the readings, every change of its axes lays out a few ticks, so
// a redraw ends at once and the window goes on processing its events.
#include "tests/ui/window_test_main.h"

#include "device/encodings.h"
#include "device/live_trend.h"
#include "device/trend_scale.h"
#include "ui/widgets/trend_chart.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <limits>
#include <mutex>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();

// A chart that lays out tens of thousands of ticks never finishes: rather than the suite's time-out,
// the test ends with the name of the step that did not return within a generous bound.
class Watchdog {
  public:
    explicit Watchdog(const char* what) : what_(what), thread_([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        woken_.notify_one();
        thread_.join();
    }

  private:
    void watch() {
        std::unique_lock lock(mutex_);
        if (!woken_.wait_for(lock, std::chrono::seconds(30), [this] { return done_; })) {
            std::fprintf(stderr, "FAIL: %s did not end within 30 s: the chart is laying out its ticks\n", what_);
            _exit(1);
        }
    }
    const char* what_;
    std::mutex mutex_;
    std::condition_variable woken_;
    bool done_ = false;
    std::thread thread_;
};

// A shown chart following a trend on a clock that steps a second per reading, with a count of the
// ticks its value axis held after each of its changes.
struct ShownChart {
    int64_t now = QDateTime(QDate(2026, 3, 2), QTime(10, 0, 5)).toMSecsSinceEpoch();
    olv::device::LiveTrend trend{[this] { return now; }};
    TrendChart chart;
    double mostTicks = 0;

    ShownChart() {
        chart.resize(480, 260);
        chart.show();
        QValueAxis* axis = chart.valueAxis();
        const auto count = [this, axis] {
            mostTicks = std::max(mostTicks, olv::device::TickCount(axis->min(), axis->max(), axis->tickInterval()));
        };
        QObject::connect(axis, &QValueAxis::rangeChanged, axis, count);
        QObject::connect(axis, &QValueAxis::tickIntervalChanged, axis, count);
        QObject::connect(axis, &QValueAxis::tickAnchorChanged, axis, count);
    }

    void read(float value, bool succeeded = true) {
        now += 1000;
        const olv::device::LiveReading reading{value, 0, olv::device::IsImplausibleReading(value)};
        chart.follow(trend, trend.add({}, succeeded, reading));
    }
};

} // namespace

class TrendChartTest : public QObject {
    Q_OBJECT

  private slots:
    void steadyThenJump_data() {
        QTest::addColumn<float>("steady");
        QTest::addColumn<QList<float>>("then");
        QTest::addColumn<bool>("withRange");
        QTest::newRow("0 → 1") << 0.0f << QList<float>{1} << true;
        QTest::newRow("0.5 → 1000") << 0.5f << QList<float>{1000} << true;
        QTest::newRow("1.2 → −0.3") << 1.2f << QList<float>{-0.3f} << true;
        QTest::newRow("1e-6 → 1e6, 1e5") << 1e-6f << QList<float>{1e6f, 1e5f} << false;
        QTest::newRow("steady, NaN, infinity") << 0.8f << QList<float>{NaN, Inf, -Inf, 0.8f} << true;
        QTest::newRow("0 → 2e-5") << 0.0f << QList<float>{2e-5f} << true;
        QTest::newRow("1 → steady 0") << 1.0f << QList<float>{0, 0, 0} << false;
    }

    // A steady reading and then a jump: each redraw returns with a few ticks on the value axis, and the
    // trend shows a gap for what is not a number.
    void steadyThenJump() {
        QFETCH(float, steady);
        QFETCH(QList<float>, then);
        QFETCH(bool, withRange);
        ShownChart shown;
        if (withRange) shown.chart.setSensorRange(std::pair{0.0, 1.6});
        const Watchdog watchdog(QTest::currentDataTag());
        for (int i = 0; i < 30; ++i)
            shown.read(steady);
        for (float value : then) {
            QElapsedTimer timer;
            timer.start();
            shown.read(value);
            QVERIFY2(timer.elapsed() < 5000, "a redraw took seconds");
        }
        QVERIFY(shown.mostTicks <= olv::device::AxisScale::MaxTicks);
        const QValueAxis& axis = *shown.chart.valueAxis();
        QVERIFY(std::isfinite(axis.min()) && std::isfinite(axis.max()) && axis.min() < axis.max());
        for (const QLineSeries* line : shown.chart.lines())
            for (const QPointF& point : line->points())
                QVERIFY(std::isfinite(point.y()) && point.y() >= axis.min() && point.y() <= axis.max());
        QVERIFY(shown.chart.timeAxis()->min() < shown.chart.timeAxis()->max());
    }

    // Random readings, gaps, zoom and pan: the chart never holds more than a few ticks and never stalls.
    void randomReadingsKeepTheTicksFew() {
        ShownChart shown;
        shown.chart.setSensorRange(std::pair{-0.1, 2.5});
        const Watchdog watchdog("a redraw of random readings");
        std::mt19937 random(7);
        std::uniform_int_distribution<int> kind(0, 9);
        std::uniform_int_distribution<int> power(-12, 6);
        std::uniform_real_distribution<float> unit(-1, 1);
        float last = 0;
        for (int step = 0; step < 300; ++step) {
            switch (kind(random)) {
            case 0: last = NaN; break;
            case 1: last = unit(random) > 0 ? Inf : std::numeric_limits<float>::max(); break;
            case 2: last = unit(random) > 0 ? 2.5f : -0.1f; break;
            case 3: last = unit(random) * std::pow(10.0f, static_cast<float>(power(random))); break;
            case 4: last = std::nextafter(last, Inf); break;
            case 5: shown.now += 20000; break; // not polled for a while
            default: break;                    // steady
            }
            shown.read(last, kind(random) != 0);
            if (step % 50 == 25) shown.chart.resetView();
            QVERIFY2(shown.mostTicks <= olv::device::AxisScale::MaxTicks, qPrintable(QString::number(step)));
        }
    }
};

OLV_UI_TEST_MAIN(TrendChartTest)
#include "trend_chart_test.moc"
