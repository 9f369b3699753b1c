// Menu "Файл": settings profiles; recent.prf at start and exit.
#include "ui/form1.h"

// Reads a profile (LoadProfile) and shows its values in the window.
void TForm1::LoadProfileToWindow(const QString&) {}

// Collects the window's values and writes them to a profile (SaveProfile).
void TForm1::SaveWindowToProfile(const QString&) {}

// "Прочитать профиль настроек": picks a profile with OpenDialog1 and loads it.
void TForm1::N2Click() {}

// "Записать профиль настроек": picks a file name with SaveDialog1 and saves the profile.
void TForm1::N3Click() {}
