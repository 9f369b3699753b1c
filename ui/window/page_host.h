#pragma once

#include "device/page_writes.h"
#include "device/register_image.h"
#include "link/result_flags.h"
#include "records/instrument_state.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <typeinfo>

class LineFlag;
class QWidget;

namespace olv::link {
class PortLink;
class PortMaster;
struct LinkSettings;
enum class LineState;
} // namespace olv::link
namespace olv::device {
struct DeviceLinkSteps;
struct LinkValues;
struct PendingDeviceLink;
} // namespace olv::device
namespace olv::messages {
class MessageBoxes;
} // namespace olv::messages

// Which handler a control or timer ran: a member function of the window or of one of its pages,
// compared by its class and member (TForm1::lastHandler, for checking the wiring).
class HandlerId {
  public:
    HandlerId() = default;
    HandlerId(std::nullptr_t) {}
    template <class Owner> HandlerId(void (Owner::*handler)()) : type_(&typeid(Owner)) {
        static_assert(sizeof handler <= sizeof member_);
        std::memcpy(member_, &handler, sizeof handler);
    }
    friend bool operator==(const HandlerId& a, const HandlerId& b) {
        if (!a.type_ || !b.type_) return a.type_ == b.type_;
        return *a.type_ == *b.type_ && std::memcmp(a.member_, b.member_, sizeof a.member_) == 0;
    }

  private:
    const std::type_info* type_ = nullptr;
    unsigned char member_[2 * sizeof(void*)] = {};
};

// What one write operation knows for the journal: the instrument's state read just before it (the
// old values, and the words a configuration write keeps) and where it was.
struct WriteRecord {
    olv::records::InstrumentState before;
    bool beforeRead = false;
    olv::device::InstrumentId target;
    QString devicePath;
};

// What a page write says when it went through, when its read-back failed, and when the instrument
// returned other values (%1: the fields).
struct PageWriteTexts {
    QString written;
    QString unchecked;
    QString differing;
    QString uncheckedDetail = {};
};

// One operation on the instrument at a time, held while this lives (TForm1::InstrumentOperation). A
// second one asked for meanwhile is not started and must not run.
class OperationHold {
  public:
    virtual ~OperationHold() = default;
    virtual bool started() const = 0;
};

// What a page reaches of the window: the line and its master, the message boxes, the register image
// and the link in force, one operation at a time, the instrument shown, the exchange reports and the
// journal's write path. The window gives itself (page_window.cpp); a page knows nothing else of it.
class PageHost {
  public:
    virtual ~PageHost() = default;

    // ---- The window's state a page reads and changes ----
    virtual olv::link::PortMaster& Master() = 0;
    virtual olv::messages::MessageBoxes& Boxes() = 0;
    virtual olv::device::RegisterImage& Image() = 0;
    virtual olv::link::LinkSettings& Link() = 0;
    virtual olv::device::PendingDeviceLink& PendingLink() = 0;
    virtual LineFlag& UiBusy() = 0; // the design's uiBusy

    // ---- The line ----
    virtual std::unique_ptr<OperationHold> BeginOperation() = 0;
    // An operation holds the line, or a transaction waits for it in the window's nested event loop.
    virtual bool LineBusy() const = 0;
    virtual void SetLineState(olv::link::LineState state) = 0;
    virtual olv::link::PortLink& Port() = 0;
    virtual void OpenPort() = 0;                  // with the link settings in force
    virtual void ShowLinkSettings(int guard) = 0; // the link in force into the top row and page 2
    // The program's own link follows each link setting the instrument accepted.
    virtual std::unique_ptr<olv::device::DeviceLinkSteps> LinkFollower(const olv::device::LinkValues& values) = 0;
    virtual int64_t NowMs() const = 0; // the window's clock: milliseconds since the epoch
    virtual void Pause(int ms) = 0;
    virtual void RepaintNow() = 0; // the window painted before a read or write blocks it

    // ---- The instrument shown ----
    virtual olv::device::InstrumentId TargetInstrument() const = 0;
    virtual void NoteInstrumentRead(const olv::device::RegisterImage& words, unsigned keptPages = 0) = 0;
    virtual void StampPages(unsigned pages, std::optional<int64_t> atMs = std::nullopt) = 0;

    // ---- Reports ----
    virtual void ReportExchangeError(olv::link::ResultFlags flags, uint8_t exceptionCode,
                                     const QString& detail = QString()) = 0;
    virtual void FocusRefusedField(QWidget* field) = 0;

    // ---- The write path: the journal's consent, the state before, the entry, the result's box ----
    virtual bool JournalAllowsWrite() = 0;
    virtual olv::link::ResultFlags ReadBeforeWrite(WriteRecord& record, uint8_t& exceptionCode) = 0;
    virtual void JournalWrite(const QString& operation, const WriteRecord& record,
                              const olv::device::PageWriteResult& result) = 0;
    virtual bool ReportPageWrite(const olv::records::InstrumentState& before,
                                 const olv::device::PageWriteResult& result, const PageWriteTexts& texts) = 0;

    // ---- Wiring ----
    // Runs a handler; what it throws is dropped by the window (MEx).
    virtual void Guarded(QObject* sender, const std::function<void()>& handler) = 0;
    // Runs a handler guarded and notes it as the handler that ran last.
    virtual void RunHandler(QObject* sender, HandlerId id, const std::function<void()>& handler) = 0;
    // A control's signal to a handler of its page (or of the window), in the window's one style; the
    // connection ends with the handler's owner.
    template <class Sender, class Signal, class Owner>
    void On(Sender* sender, Signal signal, Owner* owner, void (Owner::*handler)()) {
        static_assert(std::is_base_of_v<QObject, Owner>);
        QObject::connect(sender, signal, owner, [this, sender, owner, handler] {
            RunHandler(sender, HandlerId(handler), [owner, handler] { (owner->*handler)(); });
        });
    }
};
