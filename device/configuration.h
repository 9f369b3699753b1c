#pragma once

#include "device/register_image.h"
#include "link/modbus_master.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace olv::device {

// Reads the seven configuration blocks back to back into the image. A block is stored only when its
// read succeeded; progress(blocksDone) follows each stored block (1..7). Stops at the first failure and
// returns its flags and code; the blocks before it stay in the image.
link::ResultFlags ReadConfiguration(link::ModbusMaster& master, RegisterImage& image, uint8_t& exceptionCode,
                                    const std::function<void(int blocksDone)>& progress);

// Writes the seven configuration blocks from the image (register 8 is never written with them). After
// each successful write but the last: progress(blocksDone), then pause(100). After the last:
// progress(7). Stops at the first failure and returns its flags and code.
link::ResultFlags WriteConfiguration(link::ModbusMaster& master, const RegisterImage& image,
                                     uint8_t& exceptionCode, const std::function<void(int blocksDone)>& progress,
                                     const std::function<void(int ms)>& pause);

// Before a configuration write while no configuration read has succeeded since start: the image then
// holds zeros for the registers the page does not show, and writing them would wipe the instrument's
// own data (4, 10, 36..47) and reset its byte order (11). This reads blocks 0..5, 8..11, 36..43 and
// 44..47 into a scratch copy and, only when all four reads succeed, takes words 4, 10, 11 and 36..47
// into the image. On a failure the image is unchanged and the write must not be made.
link::ResultFlags ReadKeptRegisters(link::ModbusMaster& master, RegisterImage& image, uint8_t& exceptionCode);

// Whether a float field still shows exactly what FormatValue makes of the image's words. The page shows
// four decimals, so converting an unedited field back would round the instrument's calibration data
// (1.0001234 would become 1.0001).
bool FloatTextUnchanged(const QString& shownText, uint16_t high, uint16_t low);

// Collects one float field into the two image words: an unedited field keeps the words as they are, an
// edited one is converted (ParseSingle). Returns false, leaving the words alone, when it does not
// convert.
bool CollectFloatField(const QString& shownText, uint16_t& high, uint16_t& low);

} // namespace olv::device
