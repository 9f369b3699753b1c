#include "device/sensor_configuration.h"

#include "device/encodings.h"
#include "device/number_text.h"
#include "device/register_map.h"

#include <algorithm>
#include <array>
#include <optional>

namespace olv::device {

link::ResultFlags ReadConfiguration(link::ModbusMaster& master, RegisterImage& image, uint8_t& exceptionCode,
                                    const std::function<void(int blocksDone)>& progress) {
    exceptionCode = 0;
    int done = 0;
    for (const Block& block : ConfigReadBlocks) {
        std::array<uint16_t, 8> words{};
        const link::ResultFlags flags =
            master.readHoldingRegisters(block.start, block.count, words.data(), exceptionCode);
        if (!link::Succeeded(flags, exceptionCode)) return flags;
        std::copy_n(words.begin(), block.count, image.words.begin() + block.start);
        ++done;
        if (progress) progress(done);
    }
    return 0;
}

link::ResultFlags WriteConfiguration(link::ModbusMaster& master, const RegisterImage& image,
                                     uint8_t& exceptionCode, const std::function<void(int blocksDone)>& progress,
                                     const std::function<void(int ms)>& pause) {
    exceptionCode = 0;
    const int total = static_cast<int>(ConfigWriteBlocks.size());
    for (int i = 0; i < total; ++i) {
        const Block& block = ConfigWriteBlocks[i];
        const link::ResultFlags flags =
            master.writeMultipleRegisters(block.start, block.count, image.words.data() + block.start, exceptionCode);
        if (!link::Succeeded(flags, exceptionCode)) return flags;
        if (progress) progress(i + 1);
        if (i + 1 < total && pause) pause(100);
    }
    return 0;
}

void CollectLists(const ConfigurationLists& lists, RegisterImage& image) {
    const WordMasks owned = InstrumentOwnedBits(lists);
    const auto merge = [&](int r, uint16_t encoded) {
        image.words[r] = static_cast<uint16_t>((encoded & ~owned[r]) | (image.words[r] & owned[r]));
    };
    merge(reg::DampingUnits, DampingUnitsToRegister(lists.damping, lists.units));
    merge(reg::SensorUnits, SensorUnitsToRegister(lists.sensorUnits));
    merge(reg::Date, DateToRegister(lists.date));
}

WordMasks InstrumentOwnedBits(const ConfigurationLists& lists) {
    WordMasks owned{};
    for (int r : {reg::Kept4, reg::Kept10, reg::ByteOrder})
        owned[r] = 0xFFFF;
    for (int r = reg::KeptA; r < reg::Text + TextWords; ++r)
        owned[r] = 0xFFFF;
    if (lists.damping < 0) owned[reg::DampingUnits] |= 0xFF00;
    if (lists.units < 0) owned[reg::DampingUnits] |= 0x00FF;
    if (lists.sensorUnits < 0) owned[reg::SensorUnits] = 0xFFFF;
    if (lists.date.day < 0) owned[reg::Date] |= 0xFF00;
    if (lists.date.month < 0) owned[reg::Date] |= 0x00F0;
    if (lists.date.year < 0) owned[reg::Date] |= 0x000F;
    return owned;
}

link::ResultFlags ReadKeptRegisters(link::ModbusMaster& master, RegisterImage& image, uint8_t& exceptionCode,
                                    const WordMasks& owned) {
    // Every written block but the range (18..21), which the page always supplies.
    static constexpr std::array<Block, 6> ownBlocks{
        {{0, 6}, {8, 4}, {reg::KeptA, 8}, {reg::KeptB, 4}, TextBlock, {reg::SensorUnits, 5}}};
    exceptionCode = 0;
    std::array<uint16_t, reg::ImageSize> scratch{};
    for (const Block& block : ownBlocks) {
        const link::ResultFlags flags =
            master.readHoldingRegisters(block.start, block.count, scratch.data() + block.start, exceptionCode);
        if (!link::Succeeded(flags, exceptionCode)) return flags;
    }
    RegisterImage own;
    own.words = scratch;
    TakeOwnedBits(image, own, owned);
    return 0;
}

void TakeOwnedBits(RegisterImage& image, const RegisterImage& own, const WordMasks& owned) {
    for (int r = 0; r < reg::ImageSize; ++r)
        image.words[r] = static_cast<uint16_t>((image.words[r] & ~owned[r]) | (own.words[r] & owned[r]));
}

bool FloatTextUnchanged(const QString& shownText, uint16_t high, uint16_t low) {
    return shownText == FormatValue(WordsToFloat(high, low));
}

bool CollectFloatField(const QString& shownText, uint16_t& high, uint16_t& low) {
    if (FloatTextUnchanged(shownText, high, low)) return true;
    const std::optional<float> value = ParseSingle(shownText);
    if (!value) return false;
    FloatToWords(*value, high, low);
    return true;
}

} // namespace olv::device
