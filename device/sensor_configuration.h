#pragma once

#include "device/encodings.h"
#include "device/register_image.h"
#include "link/modbus_master.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace olv::device {

// Reads the seven configuration blocks back to back into the image. A block is stored only when its
// read succeeded; progress(blocksDone) follows each stored block (1..7). Stops at the first failure and
// returns its flags and code; the blocks before it stay in the image.
link::ResultFlags ReadConfiguration(link::ModbusMaster& master, RegisterImage& image, uint8_t& exceptionCode,
                                    const std::function<void(int blocksDone)>& progress);

// Writes the seven configuration blocks from the image (register 8 is never written with them), as
// they are: no value rules, no read-back. The page write is WriteSensorConfiguration (page_writes.h). After
// each successful write but the last: progress(blocksDone), then pause(100). After the last:
// progress(7). Stops at the first failure and returns its flags and code.
link::ResultFlags WriteConfiguration(link::ModbusMaster& master, const RegisterImage& image,
                                     uint8_t& exceptionCode, const std::function<void(int blocksDone)>& progress,
                                     const std::function<void(int ms)>& pause);

// What the sensor page's lists show: the selected entry indexes, -1 where no entry is selected.
struct ConfigurationLists {
    int damping = -1;     // register 9, high byte
    int units = -1;       // register 9, low byte
    int sensorUnits = -1; // register 58
    DateIndexes date;     // register 5
};

// Bits of each image register, 0xFFFF for a whole word.
using WordMasks = std::array<uint16_t, reg::ImageSize>;

// Registers 5, 9 and 58 from the lists. A list with no entry selected has no code to give: that part
// of its word keeps the image's bits (the instrument's own, see InstrumentOwnedBits) instead of being
// encoded as a code that does not exist.
void CollectLists(const ConfigurationLists& lists, RegisterImage& image);

// The bits a configuration write takes from the instrument itself rather than from the page: the
// registers the page does not show (4, 10, 11, 36..47 and the text 48..55) and the parts of registers 5,
// 9 and 58 whose list shows nothing.
WordMasks InstrumentOwnedBits(const ConfigurationLists& lists);

// The bits of `owned` from the instrument's own words into the image; the other bits stay.
void TakeOwnedBits(RegisterImage& image, const RegisterImage& own, const WordMasks& owned);

// Before a configuration write to an instrument the image's words do not come from (another address or
// port, or nothing read yet): reads the configuration blocks of that instrument into a scratch copy
// and, only when every read succeeds, takes the bits of `owned` from it into the image. On a failure the
// image is unchanged and the write must not be made.
link::ResultFlags ReadKeptRegisters(link::ModbusMaster& master, RegisterImage& image, uint8_t& exceptionCode,
                                    const WordMasks& owned);

// Whether a float field still shows exactly what FormatValue makes of the image's words. The page shows
// four decimals, so converting an unedited field back would round the instrument's calibration data
// (1.0001234 would become 1.0001).
bool FloatTextUnchanged(const QString& shownText, uint16_t high, uint16_t low);

// Collects one float field into the two image words: an unedited field keeps the words as they are, an
// edited one is converted (ParseSingle). Returns false, leaving the words alone, when it does not
// convert.
bool CollectFloatField(const QString& shownText, uint16_t& high, uint16_t& low);

} // namespace olv::device
