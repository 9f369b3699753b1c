// The window's rooms, reached by name.
#include "ui/window/form1_rooms.h"

#include "ui/menus/calibration_menu.h"
#include "ui/menus/config_file_menu.h"
#include "ui/menus/help_menu.h"
#include "ui/menus/journal_menu.h"
#include "ui/menus/menu_host.h"
#include "ui/menus/ports_menu.h"
#include "ui/menus/profile_menu.h"
#include "ui/menus/record_menu.h"
#include "ui/pages/live/live_page.h"
#include "ui/pages/monitor/line_monitor_page.h"
#include "ui/pages/monitor/monitor_host.h"
#include "ui/pages/page_link.h"
#include "ui/pages/page_search.h"
#include "ui/pages/page_text.h"
#include "ui/pages/sensor/sensor_page.h"
#include "ui/window/link_health_line.h"
#include "ui/window/shown_instrument.h"
#include "ui/window/window_comfort.h"

PageHost& TForm1::host() {
    return *rooms_->pageWindow;
}
LivePage& TForm1::live() {
    return *rooms_->live;
}
SensorPage& TForm1::sensor() {
    return *rooms_->sensor;
}
LinkPage& TForm1::link() {
    return *rooms_->link;
}
SearchPage& TForm1::search() {
    return *rooms_->search;
}
TextPage& TForm1::text() {
    return *rooms_->text;
}
LineMonitorPage& TForm1::monitor() {
    return *rooms_->monitor;
}
ProfileMenu& TForm1::profiles() {
    return *rooms_->profiles;
}
ConfigFileMenu& TForm1::configFile() {
    return *rooms_->configFile;
}
RecordMenu& TForm1::record() {
    return *rooms_->record;
}
JournalMenu& TForm1::journal() {
    return *rooms_->journal;
}
CalibrationMenu& TForm1::calibration() {
    return *rooms_->calibration;
}
PortsMenu& TForm1::ports() {
    return *rooms_->ports;
}
HelpMenu& TForm1::help() {
    return *rooms_->help;
}
LinkHealthLine& TForm1::healthLine() {
    return *rooms_->healthLine;
}
ShownInstrumentNotes& TForm1::shown() {
    return *rooms_->shown;
}
WindowComfort& TForm1::comfort() {
    return *rooms_->comfort;
}
