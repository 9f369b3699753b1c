#pragma once

#include <QString>

class TForm1;

// For the screenshots of the documentation and the layout review: after delayMs shows the live page,
// lets it poll for livePollingMs, then shows each of the five pages in turn, saves the window as
// <directory>/page<N>.png, saves the port assignment dialog as <directory>/ports.png and closes the
// window. Before closing it shows the live page again and saves it as <directory>/page0-stale.png
// once a failed poll has marked the reading as old (or after ten seconds).
void GrabPagesThenClose(TForm1& form, const QString& directory, int delayMs, int livePollingMs);
