#pragma once

#include "device/instrument_identity.h"
#include "device/live_trend.h"
#include "device/live_value.h"
#include "link/result_flags.h"
#include "ui/window/edit_marking.h"

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

class PageHost;
class QImage;
class QLabel;
class QWidget;
struct Form1Controls;

// What the live page needs of the window beyond PageHost: whether polling is due, the quiet
// reconnection, the instrument shown, the exchange state and the calibration's poll on the same
// tick. The window gives itself (live_window.cpp).
class LiveHost {
  public:
    virtual ~LiveHost() = default;
    virtual QWidget* widget() = 0; // the parent of the page's dialogs
    virtual bool PollEnabled() const = 0; // the start-up read has run
    virtual void ReconnectIfLost() = 0;
    virtual void FollowShownInstrument() = 0;
    virtual const olv::device::InstrumentIdentity& ShownIdentity() const = 0;
    virtual void ShowExchangeState(olv::link::ResultFlags flags, uint8_t exceptionCode) = 0;
    virtual void PollCalibration() = 0; // one reading for the calibration dialog while it is open
};

// Page 0, "Текущее значение": the live value polled once a second, its measurement log and its trend.
// Its controls are Form1Controls' (built by setupLivePage and setupLiveTrend); it reaches the rest of
// the window through its hosts.
class LivePage : public QObject, private EditMarking {
  public:
    LivePage(PageHost& host, LiveHost& window, Form1Controls& ui, olv::device::LiveTrend::Clock clock);

    void FillListsAndHints(); // the byte order list and the hints, at start-up
    void Wire();              // every control of the page (and the poll timer) to its handler

    // ---- The live value (live_page.cpp) ----
    void Timer1Timer();
    void PollLiveValue(); // one step: only while polling is enabled and page 0 is shown
    // Registers 15..17 into `live` with byteOrder; `live` changes only when the read succeeded.
    olv::link::ResultFlags ReadLiveValue(uint8_t& exceptionCode);
    void ShowLiveValue();
    void ShowStaleValue(); // after a failed poll: the reading shown is old (Label51, Memo2)
    void LogMeasurement(); // one line with `live` when logEnabled; PollLiveValue decides whether to log
    void Button9Click();
    void Button10Click();
    void CheckBox11Click();
    void ShowUnitsOfValue(); // Label56 under the live value: the units transmitted, while there is one
    // Another instrument is shown: the value goes blank as before the first reading, Label51 telling
    // whose reading it was and when (`at`), and the trend starts a new series.
    void ForgetReading(const olv::device::InstrumentIdentity& old, const std::optional<QDateTime>& at);
    bool liveMeasured = false; // a live read has succeeded since start: there is a reading to show
    std::chrono::steady_clock::time_point liveMeasuredAt{}; // when the last one succeeded
    olv::device::LiveReading live;                          // liveValue, liveStatus, liveImplausible
    // What the last reading left in Memo2 (text, colour) while a failed poll shows "нет связи" there;
    // the next reading starts from it, so that an implausible value with status 0 keeps the memo of
    // the reading before it.
    std::optional<std::pair<QString, QColor>> memoOfReading;
    // The measurement log ("Записать", CheckBox11) and its file; a relative name is the working folder's.
    int logEnabled = 0;
    QString logFileName;
    QLabel* Label56 = nullptr; // the units of the live value, under it in Panel1

    // ---- The trend (live_trend.cpp): every polling step feeds it, Chart1 draws it and Label40 shows
    // its minimum, maximum and mean. It is kept per port, address and byte order. ----
    void FeedLiveTrend(bool readSucceeded);
    olv::device::LiveTrend liveTrend;
    QString TrendUnits() const; // of the transmitted value, empty before a configuration read
    void SaveLiveTrend();       // "Сохранить…" (Button32)
    void ComboBox31Change();    // the span kept and shown
    void Button31Click();       // "Сброс"
    // Gives the file name to save the trend to, false when cancelled; a dialog unless set (tests).
    std::function<bool(QString& fileName)> chooseTrendFile;
    // The trend as a picture for the record; with `only`, the earlier series of other instruments are
    // left out of it.
    QImage TrendPicture(const olv::device::InstrumentIdentity* only = nullptr);

  private:
    PageHost& host;
    LiveHost& window;
    Form1Controls& ui;
};
