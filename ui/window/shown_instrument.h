#pragma once

#include "device/instrument_identity.h"
#include "device/register_image.h"

#include <QDateTime>

#include <array>
#include <cstdint>
#include <optional>

class LinkHealthLine;
class LivePage;
class PageHost;
class QLabel;
class SearchPage;
class SensorPage;
struct Form1Controls;

// Everything the pages show of an instrument belongs to the one the window names: the port (and the
// device or gateway it leads to), the address, and once read its model and serial number. When that
// changes, what the pages showed of the old one goes back to "Данных нет" with a note of whom it was
// read from and when; the trend starts a new series, the old one stays labelled.
class ShownInstrumentNotes {
  public:
    ShownInstrumentNotes(PageHost& host, Form1Controls& ui, SensorPage& sensor, const SearchPage& search,
                         LivePage& live, LinkHealthLine& health);

    void BuildShownInstrumentNotes(); // Label53..Label55 on pages 1, 2 and 4
    // After the link changed (port, its path, address): another instrument forgets the pages.
    void FollowShownInstrument();
    // A read of registers 0..3 of the instrument on the link (`words`): its model and serial number.
    // Another serial number than the one known forgets every page but `keptPages` (bits of page
    // indexes, for pages the same read has just filled).
    void NoteInstrumentRead(const olv::device::RegisterImage& words, unsigned keptPages = 0);
    // What the pages showed of `old` goes; each page that had data gets a note of it.
    void ForgetShownInstrument(const olv::device::InstrumentIdentity& old, unsigned keptPages = 0);
    // The instrument the link addresses now, with what is known of it.
    const olv::device::InstrumentIdentity& ShownIdentity() const { return shownInstrument.current(); }
    // The pages (bits of their indexes) show data of the instrument shown, read now (the window's
    // clock) or at atMs.
    void StampPages(unsigned pages, std::optional<int64_t> atMs = std::nullopt);

    olv::device::ShownInstrument shownInstrument;
    std::array<std::optional<QDateTime>, 5> pageReadAt; // per page index 0..4; empty: nothing read
    QLabel* Label53 = nullptr; // page 1: what was last read from whom, after the instrument changed
    QLabel* Label54 = nullptr; // page 2
    QLabel* Label55 = nullptr; // page 4

  private:
    PageHost& host;
    Form1Controls& ui;
    SensorPage& sensor;
    const SearchPage& search;
    LivePage& live;
    LinkHealthLine& health;
};
