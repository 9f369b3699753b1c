#pragma once

#include <QString>

#include <functional>
#include <memory>

class QObject;
class QWidget;

namespace olv::link {
struct LinkSettings;
class PortLink;
} // namespace olv::link
namespace olv::messages {
class MessageBoxes;
} // namespace olv::messages

// What the line monitor page needs of the window: its link (settings, port, path), its boxes, the line's
// state for listening and the window's way with a handler's exception. The window gives itself
// (monitor_window.cpp); nothing else of it is reached.
class MonitorHost {
  public:
    // An operation on the line, held while the object lives.
    class LineHold {
      public:
        virtual ~LineHold() = default;
    };
    virtual ~MonitorHost() = default;
    virtual QWidget* widget() = 0; // the parent of the page's dialogs
    virtual const olv::link::LinkSettings& linkSettings() const = 0;
    virtual QString linkPath() const = 0; // the device path of the port as last opened
    virtual olv::link::PortLink& portLink() = 0;
    virtual olv::messages::MessageBoxes& boxes() = 0;
    virtual void OpenPort() = 0; // with the link settings in force
    // An operation on the line while the object lives (the window's commands disabled as for any
    // operation); null when another one holds the line.
    virtual std::unique_ptr<LineHold> HoldLine() = 0;
    virtual bool listening() const = 0;
    // The line's state becomes Listening, or (false) back to the operation listening runs as.
    virtual void SetListening(bool on) = 0;
    // Runs a handler; what it throws goes where the window's handlers' exceptions go.
    virtual void Guarded(QObject* sender, const std::function<void()>& handler) = 0;
};
