#pragma once

#include "settings/ini_file.h"

#include <QList>
#include <QObject>

#include <vector>

class PageHost;
class QLabel;
class QMainWindow;
class QShortcut;
struct Form1Controls;

// What an engineer expects of the window beyond its pages: the keyboard (the menus' Alt letters and
// the frequent items' shortcuts), the units beside the numbers, fields and message panes of sensible
// widths on a large screen, on a first start a word on where COM1 leads, and the window's place kept.
class WindowComfort : public QObject {
  public:
    WindowComfort(PageHost& host, QMainWindow& window, Form1Controls& ui);

    void BuildWindowComfort();
    QList<QShortcut*> menuShortcuts; // Alt+A "Файл", Alt+C "Справка": the mnemonics' keys in the Latin layout
    QLabel* Label57 = nullptr; // the sensor's units beside the range maximum (Edit2)
    QLabel* Label58 = nullptr; // … the range minimum (Edit3)
    QLabel* Label59 = nullptr; // … the trim offset (Edit6)
    QLabel* Label60 = nullptr; // what the damping chosen does
    QLabel* Label61 = nullptr; // first start without dev.dat: where COM1 leads, and where to change it
    void ShowFirstStartNote();
    // The window's place and size from [WINDOW] of dev.dat (fitted to the screens there are now), and
    // back at exit.
    void RestoreWindowGeometry();
    std::vector<olv::settings::IniEntry> WindowGeometryNow() const; // for SaveStationSettings

  private:
    PageHost& host;
    QMainWindow& window;
    Form1Controls& ui;
};
