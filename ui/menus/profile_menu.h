#pragma once

#include <QObject>
#include <QString>

class LinkPage;
class LivePage;
class MenuHost;
class PageHost;
class SearchPage;
class SensorPage;
class TextPage;
struct Form1Controls;

// The pages a settings profile holds values of.
struct ProfilePages {
    LivePage& live;
    SensorPage& sensor;
    LinkPage& link;
    SearchPage& search;
    TextPage& text;
};

// "Файл" → "Прочитать профиль настроек" and "Записать профиль настроек", and recent.prf, which the
// window loads at start and saves at exit through the same two steps.
class ProfileMenu : public QObject {
  public:
    ProfileMenu(PageHost& host, MenuHost& window, Form1Controls& ui, ProfilePages pages);

    void Wire(); // N2, N3 to their handlers

    void LoadProfileToWindow(const QString& path); // LoadProfile, then the window shows the values
    void SaveWindowToProfile(const QString& path); // the window's values, then SaveProfile
    void N2Click();
    void N3Click();

  private:
    PageHost& host;
    MenuHost& window;
    Form1Controls& ui;
    ProfilePages pages;
};
