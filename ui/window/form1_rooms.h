#pragma once

#include "ui/window/form1.h"

#include <memory>

class LiveHost;
class MenuHost;
class MonitorHost;
class PageHost;

// The window as its pages and rooms, the menus, the line monitor and the live page see it
// (page_window.cpp, menu_window.cpp, monitor_window.cpp, live_window.cpp).
std::unique_ptr<PageHost> PageWindow(TForm1& form);
std::unique_ptr<MenuHost> MenuWindow(TForm1& form);
std::unique_ptr<MonitorHost> MonitorWindow(TForm1& form);
std::unique_ptr<LiveHost> LiveWindow(TForm1& form);

// The window's rooms in the order they are built. Each is built on the window and on the rooms before
// it, and goes before them at the end; a host goes after the rooms it serves.
struct TForm1::Rooms {
    std::unique_ptr<PageHost> pageWindow;
    std::unique_ptr<LinkHealthLine> healthLine;
    std::unique_ptr<ShownInstrumentNotes> shown;
    std::unique_ptr<WindowComfort> comfort;
    std::unique_ptr<SensorPage> sensor;
    std::unique_ptr<LinkPage> link;
    std::unique_ptr<SearchPage> search;
    std::unique_ptr<TextPage> text;
    std::unique_ptr<MenuHost> menuWindow;
    std::unique_ptr<PortsMenu> ports;
    std::unique_ptr<HelpMenu> help;
    std::unique_ptr<ProfileMenu> profiles;
    std::unique_ptr<ConfigFileMenu> configFile;
    std::unique_ptr<RecordMenu> record;
    std::unique_ptr<JournalMenu> journal;
    std::unique_ptr<CalibrationMenu> calibration;
    std::unique_ptr<MonitorHost> monitorWindow;
    std::unique_ptr<LineMonitorPage> monitor;
    std::unique_ptr<LiveHost> liveWindow;
    std::unique_ptr<LivePage> live;
};
