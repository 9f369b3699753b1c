#include "device/instrument_identity.h"

namespace olv::device {

namespace {

template <typename T> bool Differ(const std::optional<T>& a, const std::optional<T>& b) {
    return a && b && *a != *b;
}

} // namespace

IdentityChange ChangeBetween(const InstrumentIdentity& a, const InstrumentIdentity& b) {
    // An unknown path (a port never opened) is no other device than a known one of the same number.
    if (a.portNumber != b.portNumber || (!a.portPath.isEmpty() && !b.portPath.isEmpty() && a.portPath != b.portPath))
        return IdentityChange::Port;
    if (a.address != b.address) return IdentityChange::Address;
    if (Differ(a.model, b.model) || Differ(a.serial, b.serial)) return IdentityChange::Serial;
    return IdentityChange::None;
}

InstrumentIdentity Merged(InstrumentIdentity a, const InstrumentIdentity& b) {
    if (a.portPath.isEmpty()) a.portPath = b.portPath;
    if (!a.model) a.model = b.model;
    if (!a.serial) a.serial = b.serial;
    return a;
}

InstrumentIdentity WithImageIdentity(InstrumentIdentity identity, const RegisterImage& image) {
    identity.model = image.words[reg::Model];
    identity.serial = static_cast<int32_t>((uint32_t{image.words[reg::SerialHigh]} << 16) | image.words[reg::SerialLow]);
    return identity;
}

QString IdentityText(const InstrumentIdentity& identity) {
    QString text = QStringLiteral("прибор %1, COM%2").arg(identity.address).arg(identity.portNumber);
    if (identity.serial) text += QStringLiteral(", зав. № %1").arg(*identity.serial);
    return text;
}

QString LastReadNote(const InstrumentIdentity& identity, const QDateTime& readAt) {
    return IdentityText(identity) + QStringLiteral(" — прочитано ") + readAt.toString(QStringLiteral("HH:mm"));
}

IdentityChange ShownInstrument::address(int portNumber, const QString& portPath, int address) {
    InstrumentIdentity next;
    next.portNumber = portNumber;
    next.address = address;
    next.portPath = portPath;
    const IdentityChange change = ChangeBetween(current_, next);
    current_ = change == IdentityChange::None ? Merged(next, current_) : next;
    return change;
}

IdentityChange ShownInstrument::identified(uint16_t model, int32_t serial) {
    InstrumentIdentity next = current_;
    next.model = model;
    next.serial = serial;
    const IdentityChange change = ChangeBetween(current_, next);
    current_ = next;
    return change;
}

} // namespace olv::device
