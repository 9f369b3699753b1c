// Page 3, "Поиск приборов": the device search.
#include "ui/form1.h"

// Shows the search settings and an empty list of found instruments.
void TForm1::ClearSearchResults() {}

// Enables or disables the link controls that a running search must not change.
void TForm1::SetLinkControlsEnabled(bool) {}

// Takes the search options from the page into the search settings.
void TForm1::CollectSearchSettings() {}

// Switches the link to the instrument picked in the list.
void TForm1::ListBox1Click() {}

// "Начать": runs the search.
void TForm1::Button4Click() {}

// "Остановить": stops a running search.
void TForm1::Button5Click() {}

// Shows the search settings and the found instruments.
void TForm1::ShowSearchState() {}

// Probes every chosen combination of rate, address and parity.
void TForm1::RunDeviceSearch() {}
