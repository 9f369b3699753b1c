#pragma once

#include "device/register_image.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace olv::device {

// The instrument the window shows: the port (its COM number and the device or gateway it leads to),
// the address, and once a configuration read told them, its model and serial number. Everything shown
// or recorded of an instrument belongs to one identity; data of another identity is never shown as
// this one's.
struct InstrumentIdentity {
    int portNumber = 0;
    int address = 0;
    QString portPath; // the device path or the gateway's URL the port leads to; empty when unknown
    std::optional<uint16_t> model;  // register 0
    std::optional<int32_t> serial;  // registers 2 and 3
};

// Why two identities are not one instrument, in the order looked at.
enum class IdentityChange {
    None,    // the same instrument (a model or serial number known on one side only does not differ)
    Port,    // another COM number, or the COM number now leads to another device or gateway
    Address, // another address on the same port
    Serial,  // the same port and address answer with another model or serial number
};

IdentityChange ChangeBetween(const InstrumentIdentity& a, const InstrumentIdentity& b);
inline bool SameInstrument(const InstrumentIdentity& a, const InstrumentIdentity& b) {
    return ChangeBetween(a, b) == IdentityChange::None;
}

// `a` with what `b` knows and `a` does not (model and serial number).
InstrumentIdentity Merged(InstrumentIdentity a, const InstrumentIdentity& b);

// The model and serial number as registers 0, 2 and 3 of a configuration read give them.
InstrumentIdentity WithImageIdentity(InstrumentIdentity identity, const RegisterImage& image);

// The identity in words: "прибор 1, COM1", then ", зав. № 123456" once the serial number is known.
QString IdentityText(const InstrumentIdentity& identity);

// The note a page shows when what it showed belonged to another instrument:
// "прибор 1, COM1 — прочитано 10:42" (the time of day of the read, hours and minutes).
QString LastReadNote(const InstrumentIdentity& identity, const QDateTime& readAt);

// The instrument the window shows, followed through link changes and reads.
class ShownInstrument {
  public:
    // The link now addresses this port and address (model and serial number are not looked at). What
    // was learned of the instrument is kept when it is the same port and address.
    IdentityChange address(int portNumber, const QString& portPath, int address);
    // A read of the instrument now addressed returned this model and serial number. The first such read
    // is no change; another serial number than the one known is.
    IdentityChange identified(uint16_t model, int32_t serial);
    // The instrument shown was given another address and the link followed it: still the same one.
    void moved(int address) { current_.address = address; }

    const InstrumentIdentity& current() const { return current_; }

  private:
    InstrumentIdentity current_;
};

} // namespace olv::device
