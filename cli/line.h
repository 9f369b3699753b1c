#pragma once

#include "cli/options.h"
#include "link/link_settings.h"
#include "link/port_link.h"
#include "link/port_master.h"
#include "messages/message_boxes.h"

#include <QString>

#include <optional>
#include <string>

namespace olv::cli {

// The line a job talks over, as the command line and the station's dev.dat give it.
struct ResolvedLine {
    link::LinkSettings settings; // port number 1..8 (1 for a path given as it is), rate, parity, address,
                                 // time-out, byte order
    std::string path;            // what the port opens
    QString portName;            // "COM3", or the path as given
    bool byteOrderGiven = false; // --byte-order was given; else the instrument's own is read
    QString dataDir;             // the station's folder (absolute), empty without --data-dir
};

// The folder --data-dir names: "xdg" stands for $XDG_DATA_HOME/modbus-olv, as for the window.
QString DataFolderPath(const QString& value);

// Resolves the line: --port as COMn (through [PORTS] of dev.dat in the data folder, else in the working
// folder), as a device path, or as a gateway's address; the rate, parity, address and time-out from the
// options, else from dev.dat, else the window's defaults. The data folder is made when missing.
// Throws Failure: BadCommandLine for a port that is no COM1..COM8 or a malformed gateway address,
// FileFault for a data folder that cannot be had.
ResolvedLine ResolveLine(const LineOptions& options);

// Message boxes nobody sees: the last one is kept, to be said on stderr.
class KeptBoxes : public messages::MessageBoxes {
  public:
    messages::BoxAnswer show(const messages::Box& box) override {
        last = box;
        return box.buttons == messages::BoxButtons::YesNo ? messages::BoxAnswer::No : messages::BoxAnswer::Ok;
    }
    std::optional<messages::Box> last;
};

// The port of a job with its master: opened with the resolved settings, reopened at another rate and
// parity for a search or a link change.
class Line {
  public:
    explicit Line(ResolvedLine resolved);
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // Opens the port with the settings; throws Failure(LineFault) naming the port and the reason.
    void open();
    // Opens it again at this rate and parity (the settings then hold them); false, with the reason in
    // `why`, when it does not open.
    bool reopen(int baudRate, int parity, QString& why);
    void close() { portLink_.closePort(); }

    link::ModbusMaster& master() { return master_; }
    link::LinkSettings& settings() { return resolved_.settings; }
    link::Port& port() { return portLink_.port(); }
    link::PortLink& portLink() { return portLink_; }
    const ResolvedLine& resolved() const { return resolved_; }
    // A gateway (tcp://, mbtcp://): its own rate and parity hold on the line behind it.
    bool gateway() const;

    // "/dev/ttyUSB0, адрес 1": the object a line's error names.
    QString where() const;
    // Throws Failure with the exit code of a failed transaction and its words; nothing when it succeeded.
    void check(link::ResultFlags flags, uint8_t exceptionCode, const QString& what = QString()) const;

  private:
    QString openFailure() const;

    ResolvedLine resolved_;
    KeptBoxes boxes_;
    link::PortLink portLink_;
    link::PortMaster master_;
};

// A pause between two transactions, as the window's Pause(ms).
void PauseMs(int ms);

} // namespace olv::cli
