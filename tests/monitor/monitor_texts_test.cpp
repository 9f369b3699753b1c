// The monitor page's settings from dev.dat and the texts of its counters.
#include "monitor/monitor_texts.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>

using namespace olv::monitor;

// Out-of-range keys come to the nearest bound; the megabytes become bytes without overflowing an int.
TEST(MonitorSettingsOf, KeysAreHeldToTheirBounds) {
    struct Row {
        int frames, mb;
        int keptFrames;
        int64_t spoolBytes;
    };
    const Row rows[] = {
        {100000, 256, 100000, int64_t{256} << 20},
        {999, 15, 1000, FewestSpoolBytes},
        {10000001, 2001, 10000000, MostSpoolBytes},
        {10000000, 2000, 10000000, int64_t{2000} << 20}, // above 2^31 bytes
        {INT_MIN, INT_MIN, 1000, FewestSpoolBytes},
        {INT_MAX, INT_MAX, 10000000, MostSpoolBytes},
        {0, 0, 1000, FewestSpoolBytes},
    };
    for (const Row& row : rows) {
        const MonitorSettings settings = MonitorSettingsOf(row.frames, row.mb);
        EXPECT_EQ(settings.frames, row.keptFrames) << row.frames;
        EXPECT_EQ(settings.spoolBytes, row.spoolBytes) << row.mb;
    }
    EXPECT_EQ(MonitorSettingsOf(MonitorSettings::DefaultFrames, MonitorSettings::DefaultSpoolMb).spoolBytes,
              DefaultSpoolBytes);
}

// Each count in its place; only addresses that sent frames, 0 and 255 among them, in order; the
// dropped frames and the own port only when there are any.
TEST(CaptureTexts, CountsInTheirPlacesAndOnlyAddressesHeard) {
    Counters n;
    n.total = {12, 3, 4, 5};
    EXPECT_EQ(CaptureTotalsText(n, 0, {}).toStdString(),
              "Всего: кадров 12, без ответа 3, ошибок CRC 4, исключений 5");
    EXPECT_EQ(CaptureTotalsText(n, 7, QStringLiteral("COM1 /dev/ttyUSB0")).toStdString(),
              "Обмен программы через COM1 /dev/ttyUSB0. Всего: кадров 12, без ответа 3, ошибок CRC 4, "
              "исключений 5; старых кадров не сохранено в файле записи: 7");
    EXPECT_EQ(CaptureAddressesText(n), QString());

    n.byAddress[255] = {2, 0, 1, 0};
    n.byAddress[0] = {1, 0, 0, 0};
    n.byAddress[17] = {0, 0, 3, 0}; // broken frames only: no address of its own
    n.byAddress[1] = {int64_t{1} << 40, 1, 0, 1};
    EXPECT_EQ(CaptureAddressesText(n).toStdString(),
              "адрес 0: кадров 1, без ответа 0, ошибок CRC 0, исключений 0; "
              "адрес 1: кадров 1099511627776, без ответа 1, ошибок CRC 0, исключений 1; "
              "адрес 255: кадров 2, без ответа 0, ошибок CRC 1, исключений 0");
}

TEST(SpoolFailureReason, NoRegularFileIsSaidSoOtherwiseTheSystemsWords) {
    EXPECT_EQ(SpoolFailureReason(EINVAL).toStdString(), "это не обычный файл (папка, канал или устройство)");
    EXPECT_FALSE(SpoolFailureReason(ENOSPC).isEmpty());
    EXPECT_NE(SpoolFailureReason(ENOSPC), SpoolFailureReason(EACCES));
}
