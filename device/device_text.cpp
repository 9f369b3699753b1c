#include "device/device_text.h"

#include "device/register_map.h"

#include <algorithm>
#include <array>

namespace olv::device {

link::ResultFlags ReadDeviceText(link::ModbusMaster& master, RegisterImage& image, uint8_t& exceptionCode) {
    std::array<uint16_t, TextBlock.count> words{};
    const link::ResultFlags flags =
        master.readHoldingRegisters(TextBlock.start, TextBlock.count, words.data(), exceptionCode);
    if (link::Succeeded(flags, exceptionCode)) std::copy(words.begin(), words.end(), image.words.begin() + TextBlock.start);
    return flags;
}

link::ResultFlags WriteDeviceText(link::ModbusMaster& master, const RegisterImage& image, uint8_t& exceptionCode) {
    return master.writeMultipleRegisters(TextBlock.start, TextBlock.count, image.words.data() + TextBlock.start,
                                         exceptionCode);
}

link::ResultFlags ReadVersions(link::ModbusMaster& master, RegisterImage& image, uint8_t& exceptionCode,
                               const std::function<void(int ms)>& pause) {
    uint16_t model = 0;
    link::ResultFlags flags =
        master.readHoldingRegisters(VersionModelBlock.start, VersionModelBlock.count, &model, exceptionCode);
    if (!link::Succeeded(flags, exceptionCode)) return flags;
    image.moduleModel = model;

    if (pause) pause(100);

    uint16_t pair[VersionPairBlock.count] = {};
    flags = master.readHoldingRegisters(VersionPairBlock.start, VersionPairBlock.count, pair, exceptionCode);
    if (!link::Succeeded(flags, exceptionCode)) return flags;
    image.moduleHardware = pair[0];
    image.moduleSoftware = pair[1];
    return 0;
}

link::ResultFlags WriteVersions(link::ModbusMaster& master, const RegisterImage& image, uint8_t& exceptionCode,
                                const std::function<void(int ms)>& pause) {
    const uint16_t model = image.moduleModel;
    link::ResultFlags flags =
        master.writeMultipleRegisters(VersionModelBlock.start, VersionModelBlock.count, &model, exceptionCode);
    if (!link::Succeeded(flags, exceptionCode)) return flags;

    if (pause) pause(100);

    const uint16_t pair[VersionPairBlock.count] = {image.moduleHardware, image.moduleSoftware};
    return master.writeMultipleRegisters(VersionPairBlock.start, VersionPairBlock.count, pair, exceptionCode);
}

} // namespace olv::device
