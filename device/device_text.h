#pragma once

#include "device/register_image.h"
#include "link/modbus_master.h"

#include <cstdint>
#include <functional>

namespace olv::device {

// Registers 48..55 into the image's text words; stored only on success.
link::ResultFlags ReadDeviceText(link::ModbusMaster& master, RegisterImage& image, uint8_t& exceptionCode);

// The image's text words into registers 48..55, unchecked; the page write of the text and the
// versions with its read-back is WriteTextAndVersions (page_writes.h).
link::ResultFlags WriteDeviceText(link::ModbusMaster& master, const RegisterImage& image, uint8_t& exceptionCode);

// Register 1024, pause(100), registers 1027..1028. Each read's words are stored when it succeeded; the
// first failure ends it.
link::ResultFlags ReadVersions(link::ModbusMaster& master, RegisterImage& image, uint8_t& exceptionCode,
                               const std::function<void(int ms)>& pause);

// Register 1024, pause(100), registers 1027..1028, from the image's module words. A failure of the first
// write ends it.
link::ResultFlags WriteVersions(link::ModbusMaster& master, const RegisterImage& image, uint8_t& exceptionCode,
                                const std::function<void(int ms)>& pause);

} // namespace olv::device
