#pragma once

#include "search/search_settings.h"

#include <QObject>

class PageHost;
struct Form1Controls;
class QComboBox;

// Page 3, "Поиск приборов": the device search. Its controls are Form1Controls' (built by
// setupSearchPage in page_search.cpp); it reaches the rest of the window through its host.
class SearchPage : public QObject {
  public:
    SearchPage(PageHost& host, Form1Controls& ui);

    void FillListsAndHints(); // the address lists' entries and the hints, at start-up
    void Wire();              // every control of the page to its handler

    void ClearSearchResults();
    void ShowSearchState();
    void RunDeviceSearch();
    void SetLinkControlsEnabled(bool enabled);
    void CollectSearchSettings();
    void ListBox1Click();
    void Button4Click();
    void Button5Click();
    // The address chosen in ComboBox12 or ComboBox13: the selected entry, or a whole number 0..255
    // typed into the box; false for any other text.
    static bool SearchAddressOf(const QComboBox* box, int& address);

    olv::search::SearchSettings searchSettings;
    olv::search::FoundDevices foundDevices{};
    int searchRunning = 0; // a search runs; 0 given stops it after its next probe

  private:
    PageHost& host;
    Form1Controls& ui;
};
