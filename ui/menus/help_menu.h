#pragma once

#include <QObject>
#include <QString>

class MenuHost;
class PageHost;
struct Form1Controls;

// "Файл" → "Выход" and the "Справка" menu: the user's guide on F1 and "О программе".
class HelpMenu : public QObject {
  public:
    HelpMenu(PageHost& host, MenuHost& window, Form1Controls& ui);

    void Wire(); // N9, N11, N12 to their handlers

    void N9Click();             // "Выход" (Ctrl+Q)
    void N11Click();            // "Руководство" (F1)
    void N12Click();            // "О программе"
    static QString GuidePath(); // the installed user's guide, beside the program's bin folder

  private:
    PageHost& host;
    MenuHost& window;
    Form1Controls& ui;
};
