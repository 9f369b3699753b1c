#pragma once

#include "link/result_flags.h"

#include <QString>

#include <cstdint>

class QFileDialog;
class QImage;
class QMainWindow;
class SensorPage;
class TextPage;

namespace olv::device {
class LiveTrend;
struct InstrumentIdentity;
struct LiveReading;
} // namespace olv::device
namespace olv::records {
struct InstrumentState;
} // namespace olv::records
namespace olv::settings {
class IniWriteError;
} // namespace olv::settings

// What the menus reach of the window beyond what a page does (PageHost): the window itself (the
// dialogs' parent, its caption, its close), the line's nested waits, the settings files' refusals,
// what the live page holds, the whole instrument read at once, the file dialogs and the pages that
// show a configuration. The window gives itself (menu_window.cpp).
class MenuHost {
  public:
    virtual ~MenuHost() = default;

    virtual QMainWindow& Window() = 0;

    // A transaction waits for the line in the window's nested event loop (not an operation).
    virtual bool LineWaiting() const = 0;
    virtual void ReconnectIfLost() = 0;
    virtual void ShowExchangeState(olv::link::ResultFlags flags, uint8_t exceptionCode) = 0;

    // A settings file could not be written: one box per step. ReportNextIniWriteError starts a step
    // the user asked for, whose refusal is always reported.
    virtual void ReportIniWriteError(const olv::settings::IniWriteError& error) = 0;
    virtual void ReportNextIniWriteError() = 0;

    // The live page: the measurement log's file and switch, a reading now (true when it succeeded; the
    // last reading either way), the trend and the instrument it names.
    virtual QString& LogFileName() = 0;
    virtual int& LogEnabled() = 0;
    virtual bool ReadLiveNow(olv::device::LiveReading& reading) = 0;
    virtual const olv::device::LiveTrend& Trend() const = 0;
    virtual const olv::device::InstrumentIdentity& InstrumentShown() const = 0;
    // The trend as a picture, only the readings of `only` when given.
    virtual QImage TrendPicture(const olv::device::InstrumentIdentity* only) = 0;

    // Everything of the instrument on the line: configuration, versions, parity; a read noted as the
    // instrument shown.
    virtual olv::link::ResultFlags ReadInstrumentState(olv::records::InstrumentState& state,
                                                       uint8_t& exceptionCode) = 0;
    // The same for a menu's operation that needs the whole state: a failed read is reported as every
    // failed exchange is; true when the state was read.
    virtual bool ReadInstrumentStateOrReport(olv::records::InstrumentState& state) = 0;
    // A file dialog of the menus: the chosen name and whether the first filter entry was selected;
    // false when cancelled.
    virtual bool ChooseFile(QFileDialog* dialog, QString& fileName, bool& firstFilterSelected) = 0;
    // The pages that show a configuration written from a file anew.
    virtual SensorPage& SensorShown() = 0;
    virtual TextPage& TextShown() = 0;
};
