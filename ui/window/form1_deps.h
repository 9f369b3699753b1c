#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace olv::link {
class Port;
} // namespace olv::link
namespace olv::messages {
class MessageBoxes;
} // namespace olv::messages

// What the window needs from outside: the serial port, where message boxes go and how a COM number
// becomes a device path. Tests give a fake port and recording boxes.
struct Form1Deps {
    std::unique_ptr<olv::link::Port> port;
    olv::messages::MessageBoxes* boxes = nullptr; // null: the window shows its own QMessageBox boxes
    std::function<std::string(int portNumber)> resolvePath;
    bool runFormCreate = true; // false leaves the controls as designed (lists empty, nothing opened)
    // Start without transmitting (--listen), whatever the port's own choice in the ports dialog says.
    bool listenAtStart = false;
    // The time of day in milliseconds since the epoch with which the trend stamps its readings; the
    // wall clock unless given (tests step it).
    std::function<int64_t()> clock;
};
