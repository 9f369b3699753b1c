#include "search/device_search.h"

#include "link/link_settings.h"
#include "tests/support/recording_boxes.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace olv::test {
namespace {

using namespace olv::search;

struct Probe {
    int rate;
    int parity;
    int address;
    auto operator<=>(const Probe&) const = default;
};

// The window as the search sees it: a port that remembers how it was last opened, instruments on the
// line that answer at one rate, parity and address, and a record of everything the search did.
class FakeWindow {
  public:
    FakeWindow() {
        link.address = 7;
        link.parity = 2;
        link.baudRate = 19200;
        hooks.openProbePort = [this](int rate, int parity) {
            ++probeOpens;
            if (probeOpens == failOpenAt) return false;
            portRate = rate;
            portParity = parity;
            return true;
        };
        hooks.openLinkPort = [this] {
            events.push_back("open link port");
            portRate = link.baudRate;
            portParity = link.parity;
            addressAtReopen = link.address;
        };
        hooks.probe = [this](uint8_t& exc) -> link::ResultFlags {
            exc = 0;
            const Probe p{portRate, portParity, link.address};
            probes.push_back(p);
            if (answerAll || instruments.contains(p)) return 0;
            return link::NoReply | link::WrongLength | link::WrongFunction | link::CrcMismatch;
        };
        hooks.processEvents = [this] {
            ++eventRounds;
            if (onEvents) onEvents();
        };
        hooks.showProgress = [this](const QString& line) { progress.push_back(line); };
        hooks.showSearchState = [this] { ++stateShown; };
        hooks.setLinkControlsEnabled = [this](bool on) { events.push_back(on ? "enable" : "disable"); };
    }

    void run() { RunDeviceSearch(settings, searchRunning, link, found, hooks, boxes); }

    SearchSettings settings;
    int searchRunning = 1;
    link::LinkSettings link;
    FoundDevices found{};
    SearchHooks hooks;
    RecordingBoxes boxes;

    std::set<Probe> instruments;
    bool answerAll = false;
    int failOpenAt = 0; // the open (counting from 1) that fails
    std::function<void()> onEvents;

    int portRate = 0;
    int portParity = 0;
    int probeOpens = 0;
    int eventRounds = 0;
    int stateShown = 0;
    int addressAtReopen = -1;
    std::vector<Probe> probes;
    std::vector<QString> progress;
    std::vector<std::string> events;
};

// The probes of a full search over these rates, addresses and parities, in the search's order.
std::vector<Probe> Expected(const std::vector<int>& rates, int first, int last,
                            const std::vector<int>& parities) {
    std::vector<Probe> probes;
    for (int rate : rates) {
        for (int address = first; address <= last; ++address) {
            for (int parity : parities)
                probes.push_back({rate, parity, address});
        }
    }
    return probes;
}

const std::vector<int> AllRates{1200, 2400, 4800, 9600, 19200, 38400};

// Every end of a search leaves the link as it was and the port open with it, controls enabled.
void ExpectRestored(const FakeWindow& w, const QString& message) {
    EXPECT_EQ(w.searchRunning, 0);
    EXPECT_EQ(w.link.address, 7);
    EXPECT_EQ(w.link.parity, 2);
    EXPECT_EQ(w.addressAtReopen, 7);
    EXPECT_EQ(w.portRate, 19200);
    EXPECT_EQ(w.portParity, 2);
    ASSERT_EQ(w.boxes.boxes.size(), 1u);
    EXPECT_EQ(w.boxes.boxes[0].text, message);
    EXPECT_EQ(w.boxes.boxes[0].caption, "Ход поиска");
    EXPECT_EQ(w.boxes.boxes[0].icon, messages::BoxIcon::Information);
    EXPECT_EQ(w.boxes.boxes[0].buttons, messages::BoxButtons::Ok);
    ASSERT_GE(w.events.size(), 3u);
    EXPECT_EQ(w.events.front(), "disable");
    EXPECT_EQ(w.events.back(), "enable");
    EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "open link port"), 1);
}

TEST(DeviceSearch, NoSwitchOnTriesEveryRateAndParityAtEachAddress) {
    FakeWindow w;
    w.settings.firstAddress = 1;
    w.settings.lastAddress = 2;
    w.run();
    EXPECT_EQ(w.probes, Expected(AllRates, 1, 2, {0, 1, 2}));
    EXPECT_EQ(w.probeOpens, 36); // the port is reopened for every probe
    ExpectRestored(w, "Процедура поиска завершена.");
}

TEST(DeviceSearch, OnlyTickedRatesAndParities) {
    FakeWindow w;
    w.settings.baudEnabled = {0, 0, 0, 1, 0, 1};
    w.settings.parityEnabled = {0, 1, 0};
    w.settings.firstAddress = 5;
    w.settings.lastAddress = 6;
    w.run();
    EXPECT_EQ(w.probes, (std::vector<Probe>{{9600, 1, 5}, {9600, 1, 6}, {38400, 1, 5}, {38400, 1, 6}}));
}

TEST(DeviceSearch, SwitchValuesOtherThanOneAreOff) {
    FakeWindow w;
    w.settings.baudEnabled = {2, 1, 0, 0, 0, 0};
    w.settings.parityEnabled = {0, 0, 1};
    w.settings.firstAddress = 3;
    w.settings.lastAddress = 3;
    w.run();
    EXPECT_EQ(w.probes, (std::vector<Probe>{{2400, 2, 3}}));
}

TEST(DeviceSearch, FirstAboveLastProbesOnlyTheFirstAddress) {
    FakeWindow w;
    w.settings.parityEnabled = {0, 0, 1};
    w.settings.firstAddress = 10;
    w.settings.lastAddress = 3;
    w.run();
    EXPECT_EQ(w.probes, Expected(AllRates, 10, 10, {2}));
}

TEST(DeviceSearch, AddressesEndAt255) {
    for (int last : {255, 300}) {
        FakeWindow w;
        w.settings.baudEnabled = {1, 0, 0, 0, 0, 0};
        w.settings.parityEnabled = {1, 0, 0};
        w.settings.firstAddress = 253;
        w.settings.lastAddress = last;
        w.run();
        EXPECT_EQ(w.probes, (std::vector<Probe>{{1200, 0, 253}, {1200, 0, 254}, {1200, 0, 255}})) << last;
    }
}

TEST(DeviceSearch, FirstAddressOutsideTheListIsBroughtInside) {
    FakeWindow w;
    w.settings.baudEnabled = {1, 0, 0, 0, 0, 0};
    w.settings.parityEnabled = {1, 0, 0};
    w.settings.firstAddress = -1; // no entry selected
    w.settings.lastAddress = 1;
    w.run();
    EXPECT_EQ(w.probes, (std::vector<Probe>{{1200, 0, 0}, {1200, 0, 1}}));
}

TEST(DeviceSearch, ProgressLineNamesRateParityAndAddress) {
    FakeWindow w;
    w.settings.baudEnabled = {0, 0, 0, 1, 0, 0};
    w.settings.firstAddress = 1;
    w.settings.lastAddress = 1;
    w.run();
    EXPECT_EQ(w.progress, (std::vector<QString>{"Проверяется скорость 9600 без паритета номер прибора 1",
                                                "Проверяется скорость 9600 нечетный паритет номер прибора 1",
                                                "Проверяется скорость 9600 четный паритет номер прибора 1",
                                                "Поиск окончен. Найдено приборов: 0"}));
}

TEST(DeviceSearch, EventsAreProcessedAfterEachAddressOnly) {
    FakeWindow w;
    w.settings.baudEnabled = {1, 1, 0, 0, 0, 0};
    w.settings.firstAddress = 0;
    w.settings.lastAddress = 4;
    w.run();
    EXPECT_EQ(w.eventRounds, 2 * 4); // not after the last address of a rate
}

TEST(DeviceSearch, ListsEveryInstrumentThatAnswers) {
    FakeWindow w;
    w.settings.firstAddress = 0;
    w.settings.lastAddress = 3;
    w.instruments = {{2400, 1, 3}, {9600, 0, 1}, {9600, 2, 1}};
    w.run();
    EXPECT_EQ(w.found[0].baudRate, 2400);
    EXPECT_EQ(w.found[0].address, 3);
    EXPECT_EQ(w.found[0].parity, 1);
    EXPECT_EQ(w.found[1].baudRate, 9600);
    EXPECT_EQ(w.found[1].parity, 0);
    EXPECT_EQ(w.found[2].parity, 2);
    EXPECT_EQ(w.found[3].baudRate, 0);
    EXPECT_EQ(FoundDeviceLines(w.found),
              (QStringList{"Скорость 2400 нечёт. пар. Сет. номер 3", "Скорость 9600 без парит. Сет. номер 1",
                           "Скорость 9600 чет. пар. Сет. номер 1"}));
    EXPECT_EQ(w.stateShown, 1 + 3); // once cleared at the start, then after each find
    ExpectRestored(w, "Процедура поиска завершена.");
}

TEST(DeviceSearch, StopIsSeenAfterAtMostOneMoreProbe) {
    FakeWindow w;
    w.settings.firstAddress = 1;
    w.settings.lastAddress = 100;
    w.onEvents = [&] { w.searchRunning = 0; };
    w.run();
    EXPECT_EQ(w.probes, (std::vector<Probe>{{1200, 0, 1}, {1200, 1, 1}, {1200, 2, 1}, {1200, 0, 2}}));
    ExpectRestored(w, "Процедура поиска завершена пользователем.");
    // The port is reopened with the link settings before the message is shown.
    EXPECT_EQ(w.events, (std::vector<std::string>{"disable", "open link port", "enable"}));
}

TEST(DeviceSearch, StartingAgainBeginsAfreshWithAnEmptyList) {
    FakeWindow w;
    w.answerAll = true;
    w.settings.baudEnabled = {0, 0, 0, 0, 1, 1};
    w.settings.parityEnabled = {0, 1, 0};
    w.settings.firstAddress = 4;
    w.settings.lastAddress = 9;
    w.onEvents = [&] { w.searchRunning = 0; };
    w.run();
    // Odd parity is not the first, so the stop is seen before the next address is probed.
    ASSERT_EQ(FoundDeviceLines(w.found).size(), 1);

    w.probes.clear();
    w.boxes.boxes.clear();
    w.events.clear();
    w.answerAll = false;
    w.onEvents = nullptr;
    w.searchRunning = 1;
    w.run();
    EXPECT_EQ(w.probes.front(), (Probe{19200, 1, 4}));
    EXPECT_TRUE(FoundDeviceLines(w.found).isEmpty());
    ExpectRestored(w, "Процедура поиска завершена.");
}

TEST(DeviceSearch, ThirtyThirdFindEndsTheSearch) {
    FakeWindow w;
    w.answerAll = true;
    w.settings.firstAddress = 0;
    w.settings.lastAddress = 255;
    w.run();
    EXPECT_EQ(w.probes.size(), 33u);
    EXPECT_EQ(w.probes.back(), (Probe{1200, 2, 10}));
    EXPECT_EQ(FoundDeviceLines(w.found).size(), 33);
    EXPECT_EQ(w.found[32].address, 10);
    ExpectRestored(w, "Процедура поиска завершена.На линии слишком много приборов.");
}

TEST(DeviceSearch, SettingsAreReadAgainAtEveryStep) {
    // A profile loaded while messages are processed narrows the search.
    FakeWindow w;
    w.settings.parityEnabled = {1, 0, 0};
    w.settings.firstAddress = 0;
    w.settings.lastAddress = 50;
    w.onEvents = [&] {
        w.settings.lastAddress = 2;
        w.settings.baudEnabled = {1, 0, 0, 0, 0, 1};
    };
    w.run();
    EXPECT_EQ(w.probes,
              (std::vector<Probe>{
                  {1200, 0, 0}, {1200, 0, 1}, {1200, 0, 2}, {38400, 0, 0}, {38400, 0, 1}, {38400, 0, 2}}));
}

TEST(DeviceSearch, PortThatCannotBeOpenedEndsTheSearchOnce) {
    FakeWindow w;
    w.settings.firstAddress = 0;
    w.settings.lastAddress = 255;
    w.failOpenAt = 2;
    w.run();
    EXPECT_EQ(w.probeOpens, 2);
    EXPECT_EQ(w.probes.size(), 1u);
    ExpectRestored(w, "Процедура поиска завершена.");
}

TEST(DeviceSearch, DoesNothingWhenNotRunning) {
    FakeWindow w;
    w.searchRunning = 0;
    w.found[0] = {9600, 1, 0};
    w.run();
    EXPECT_TRUE(w.probes.empty());
    EXPECT_TRUE(w.events.empty());
    EXPECT_TRUE(w.boxes.boxes.empty());
    EXPECT_EQ(w.found[0].baudRate, 9600);
}

TEST(FoundDeviceLine, Texts) {
    EXPECT_EQ(FoundDeviceLine({9600, 1, 0}), "Скорость 9600 без парит. Сет. номер 1");
    EXPECT_EQ(FoundDeviceLine({38400, 255, 1}), "Скорость 38400 нечёт. пар. Сет. номер 255");
    EXPECT_EQ(FoundDeviceLine({1200, 0, 2}), "Скорость 1200 чет. пар. Сет. номер 0");
}

TEST(FoundDeviceLine, ModelAndSerialNumberOnceRead) {
    FoundDevice device{9600, 1, 0, 150, 123456};
    EXPECT_EQ(FoundDeviceLine(device), "Скорость 9600 без парит. Сет. номер 1, модель 150, зав. № 123456");
    EXPECT_EQ(FoundDeviceLine(device, true), "Сет. номер 1 за шлюзом, модель 150, зав. № 123456");
}

TEST(FoundDeviceLines, EndAtTheFirstEmptyEntry) {
    FoundDevices found{};
    found[0] = {9600, 1, 0};
    found[2] = {1200, 3, 0}; // behind the end marker
    EXPECT_EQ(FoundDeviceLines(found), QStringList{"Скорость 9600 без парит. Сет. номер 1"});
}

TEST(ChooseFoundDevice, TakesAddressRateAndParity) {
    FoundDevices found{};
    found[0] = {9600, 12, 1};
    found[1] = {57600, 3, 0};
    link::LinkSettings settings;
    settings.parity = 2;
    EXPECT_TRUE(ChooseFoundDevice(found, 0, settings));
    EXPECT_EQ(settings.address, 12);
    EXPECT_EQ(settings.baudRate, 9600);
    EXPECT_EQ(settings.parity, 1);
    EXPECT_TRUE(ChooseFoundDevice(found, 1, settings));
    EXPECT_EQ(settings.baudRate, 19200);
    EXPECT_EQ(settings.parity, 0);

    const link::LinkSettings before = settings;
    EXPECT_FALSE(ChooseFoundDevice(found, 2, settings));
    EXPECT_FALSE(ChooseFoundDevice(found, -1, settings));
    EXPECT_FALSE(ChooseFoundDevice(found, MaxFoundDevices, settings));
    EXPECT_EQ(settings.address, before.address);
    EXPECT_EQ(settings.baudRate, before.baudRate);
    EXPECT_EQ(settings.parity, before.parity);
}

TEST(DeviceSearch, OverAGatewayOnlyTheAddressesAreProbedOverOneConnection) {
    FakeWindow w;
    w.hooks.addressesOnly = true;
    w.settings.lastAddress = 4;
    w.run();
    EXPECT_EQ(w.probes, Expected({19200}, 0, 4, {2})) << "the link's rate and parity, whatever the switches";
    EXPECT_EQ(w.probeOpens, 1);
    EXPECT_EQ(w.progress.front(), "Проверяется номер прибора 0 за шлюзом");
}

// ---- Who answered, and how far the search is ----

TEST(DeviceSearch, EachInstrumentFoundIsAskedItsModelAndSerialNumberAtItsOwnAddress) {
    FakeWindow w;
    w.settings.baudEnabled = {0, 0, 0, 1, 0, 0};
    w.settings.parityEnabled = {1, 0, 0};
    w.settings.lastAddress = 3;
    w.instruments = {{9600, 0, 1}, {9600, 0, 3}};
    std::vector<int> askedAt;
    w.hooks.identify = [&](uint16_t& model, int32_t& serial) {
        askedAt.push_back(w.link.address);
        if (w.link.address == 3) return false; // its configuration read failed
        model = 150;
        serial = 1000 + w.link.address;
        return true;
    };
    w.run();
    EXPECT_EQ(askedAt, (std::vector<int>{1, 3})); // only those that answered
    EXPECT_EQ(FoundDeviceLines(w.found),
              (QStringList{"Скорость 9600 без парит. Сет. номер 1, модель 150, зав. № 1001",
                           "Скорость 9600 без парит. Сет. номер 3"}));
    ExpectRestored(w, "Процедура поиска завершена.");
}

TEST(DeviceSearch, FiguresCountEveryProbeAndTellTheTimeLeftByTheClockGiven) {
    FakeWindow w;
    w.settings.baudEnabled = {0, 0, 0, 1, 1, 0};
    w.settings.parityEnabled = {0, 0, 1};
    w.settings.firstAddress = 1;
    w.settings.lastAddress = 5;
    w.instruments = {{19200, 2, 4}};
    int64_t now = 5000;
    // Every probe takes 2 s on this clock.
    const auto probe = w.hooks.probe;
    w.hooks.probe = [&, probe](uint8_t& exc) {
        now += 2000;
        return probe(exc);
    };
    w.hooks.clockMs = [&] { return now; };
    std::vector<SearchProgress> figures;
    w.hooks.showFigures = [&](const SearchProgress& p) { figures.push_back(p); };
    w.run();

    ASSERT_EQ(figures.size(), 11u); // before the first probe, then after each of the 10
    EXPECT_EQ(figures.front().done, 0);
    EXPECT_EQ(figures.front().total, 10);
    EXPECT_FALSE(figures.front().leftMs);
    EXPECT_EQ(figures[3].done, 3);
    EXPECT_EQ(figures[3].leftMs, std::optional<int64_t>(14'000));
    EXPECT_EQ(figures.back().done, 10);
    EXPECT_EQ(figures.back().found, 1);
    EXPECT_EQ(figures.back().leftMs, std::optional<int64_t>(0));
    EXPECT_EQ(figures[8].found, 0);
    EXPECT_EQ(figures[9].found, 1); // 19200 at address 4 is the 9th probe
}

TEST(ProbeCount, AsTheSearchProbes) {
    SearchSettings all;
    all.lastAddress = 255;
    EXPECT_EQ(ProbeCount(all, false), 6 * 256 * 3);
    EXPECT_EQ(ProbeCount(all, true), 256);
    SearchSettings one;
    one.firstAddress = 9;
    one.lastAddress = 2; // first above last: the first alone
    one.baudEnabled = {1, 0, 0, 0, 0, 0};
    one.parityEnabled = {0, 2, 1}; // only 1 is on
    EXPECT_EQ(ProbeCount(one, false), 1);
    one.firstAddress = -5; // no entry selected: from 0
    one.lastAddress = 1000;
    EXPECT_EQ(ProbeCount(one, false), 256);

    // Whatever the settings, the count is what a search of them probes.
    std::mt19937 random(5);
    for (int n = 0; n < 200; ++n) {
        FakeWindow w;
        for (int& on : w.settings.baudEnabled)
            on = int(random() % 3);
        for (int& on : w.settings.parityEnabled)
            on = int(random() % 3);
        w.settings.firstAddress = int(random() % 300) - 20;
        w.settings.lastAddress = int(random() % 300) - 20;
        w.hooks.addressesOnly = random() % 2 == 0;
        const int count = ProbeCount(w.settings, w.hooks.addressesOnly);
        w.run();
        ASSERT_EQ(int(w.probes.size()), count) << n;
    }
}

TEST(ProgressFiguresText, CountsThenSecondsOrWholeMinutesLeft) {
    EXPECT_EQ(ProgressFiguresText({0, 768, 0, std::nullopt}), QStringLiteral("Проверено 0 из 768, найдено 0"));
    EXPECT_EQ(ProgressFiguresText({12, 768, 1, 41'200}),
              QStringLiteral("Проверено 12 из 768, найдено 1, осталось около 42 с"));
    EXPECT_EQ(ProgressFiguresText({12, 768, 1, 60'000}),
              QStringLiteral("Проверено 12 из 768, найдено 1, осталось около 1 мин"));
    EXPECT_EQ(ProgressFiguresText({1, 4608, 0, 3'000'001}),
              QStringLiteral("Проверено 1 из 4608, найдено 0, осталось около 51 мин"));
    EXPECT_EQ(ProgressFiguresText({1, 1, 0, -5}), QStringLiteral("Проверено 1 из 1, найдено 0, осталось около 0 с"));
}

} // namespace
} // namespace olv::test
