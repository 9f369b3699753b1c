#pragma once

// The instrument's page writes, for the window and the headless program alike (no widgets, no timers).
//
//   PageWriteResult WriteSensorConfiguration(master, image, owned, hooks)   the sensor page's 7 blocks
//   PageWriteResult WriteLinkSettings(master, values, follow, hooks)        byte order, address + rate,
//                                                                           parity; the caller's link
//                                                                           follows each one accepted
//   PageWriteResult WriteTextAndVersions(master, image, hooks)              versions 1024, 1027..1028,
//                                                                           then the text 48..55
//
// Every one of them
//   1. judges the values by the value rules (value_rules.h) first: a refusal sends nothing
//      (stop == WriteStop::Refused, `refusals` says why);
//   2. writes its blocks in order; after each block the instrument acknowledged: hooks.progress(done,
//      total), then hooks.pause(100) before the next; before every block but the first it asks
//      hooks.cancelled() and stops there when it says yes (WriteStop::Cancelled);
//   3. reads back every block it sent, the failed one included, at the link in force by then, and
//      compares: a block that reads back as sent is held, one that reads back otherwise is not (an
//      acknowledged block that reads back otherwise is a failed write, WriteStop::Mismatch); a block
//      never sent is not held; a block whose read-back failed is unknown when it was not
//      acknowledged. A read-back that fails after every block was acknowledged is WriteStop::ReadBack.
// The result names each block's fate (`blocks`), the words sent and those read back by register number
// (`sent`, `readBack`), the flags and code of the exchange that failed, and says it in Russian
// (StopText, BlocksText). records/page_write_record.h turns it into the journal's entry and the
// instrument's state afterwards.

#include "device/device_link.h"
#include "device/register_image.h"
#include "device/register_map.h"
#include "device/sensor_configuration.h"
#include "device/value_rules.h"
#include "link/modbus_master.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace olv::device {

// What the caller does between the blocks; each may be empty.
struct WriteHooks {
    std::function<void(int done, int total)> progress; // after every acknowledged block
    std::function<void(int ms)> pause;                 // between two blocks
    std::function<bool()> cancelled;                   // before every block but the first
};

enum class BlockState {
    Held,    // reads back as it was sent (or acknowledged, when the read-back could not tell)
    NotHeld, // never sent, refused, or reads back otherwise
    Unknown, // sent, not acknowledged, and not read back
};

struct BlockOutcome {
    Block block;
    bool sent = false;
    bool acknowledged = false;
    bool readBack = false; // its read-back succeeded
    BlockState state = BlockState::NotHeld;
};

enum class WriteStop {
    None,      // every block written and read back as sent
    Refused,   // a value the instrument must not be given: nothing was sent
    Exchange,  // a write failed (flags, exceptionCode)
    Cancelled, // hooks.cancelled() said so between two blocks
    ReadBack,  // every block was acknowledged but the read-back failed (flags, exceptionCode)
    Mismatch,  // an acknowledged block reads back otherwise than it was sent
};

struct PageWriteResult {
    WriteStop stop = WriteStop::None;
    std::vector<Refusal> refusals;
    link::ResultFlags flags = 0; // of the write that failed, or of the failed read-back
    uint8_t exceptionCode = 0;
    std::vector<BlockOutcome> blocks;
    std::map<int, uint16_t> sent;     // register → word, for every block the write had
    std::map<int, uint16_t> readBack; // register → word, for every block read back

    bool succeeded() const { return stop == WriteStop::None; }
    // Whether the instrument holds anything of this write, and whether it holds all of it.
    bool anyHeld() const;
    bool allHeld() const;
    // Registers whose read-back differs from what was sent.
    std::vector<int> mismatched() const;
};

// "0–5, 9–11" of the blocks in this state; empty when none is.
QString BlocksIn(const PageWriteResult& result, BlockState state);

// What the instrument holds of a write that did not go through whole, in a sentence or two:
// "Прибор хранит записанные регистры 0–5, 9–11. Не записаны: 18–21, 36–43. Неизвестно, записаны ли:
// 44–47." Empty for a write that succeeded or sent nothing.
QString BlocksText(const PageWriteResult& result);

// Why a write stopped, for a message box: the refusal's sentence, "Запись прервана." for a cancel,
// "Прибор возвращает иные значения регистров: 20, 21." for a mismatch, "Записанное не прочитано для
// проверки." for a failed read-back; empty for an exchange failure (its own box says it) and a success.
QString StopText(const PageWriteResult& result);

// The words the instrument holds after the write into the image (registers 0..62 and the module
// words): those read back, and those of acknowledged blocks that could not be read back. The image's
// other words stay.
void TakeHeldWords(RegisterImage& image, const PageWriteResult& result);

// The general engine of the writes above: the blocks in order with their words, `afterBlock(index)`
// after each acknowledged block (after the pause, so that a link change takes effect before the next
// one), then the read-back. No value rules are applied here.
struct BlockWrite {
    Block block;
    std::vector<uint16_t> words;
};
PageWriteResult WriteBlocks(link::ModbusMaster& master, const std::vector<BlockWrite>& writes,
                            const WriteHooks& hooks, const std::function<void(size_t index)>& afterBlock = {});

// The seven configuration blocks of `image` (register 8 is never written with them) with the bits of
// `owned` taken from `own` (the instrument's words as read just before; see InstrumentOwnedBits and
// records::InstrumentKeepsOnFileWrite). A refusal of a field made wholly of owned bits does not stop
// the write: those are the instrument's own words, sent back as they are.
PageWriteResult WriteSensorConfiguration(link::ModbusMaster& master, const RegisterImage& image,
                                         const RegisterImage& own, const WordMasks& owned,
                                         const WriteHooks& hooks);

// The communication settings: byte order (register 11), address and baud code (8), parity (1034),
// one write each. After each acknowledged write and its pause, `follow` is told (byteOrderWritten,
// addressBaudWritten, parityWritten) so that the caller's own link switches to it; the read-back then
// reaches the instrument at its new settings, which proves it answers there.
PageWriteResult WriteLinkSettings(link::ModbusMaster& master, const LinkValues& values, DeviceLinkSteps& follow,
                                  const WriteHooks& hooks);

// The module words of `image` (1024, then 1027..1028) and its text words (48..55).
PageWriteResult WriteTextAndVersions(link::ModbusMaster& master, const RegisterImage& image,
                                     const WriteHooks& hooks);

} // namespace olv::device
