#pragma once

#include "settings/ini_file.h"

#include <QRect>
#include <QSize>

#include <optional>
#include <vector>

namespace olv::settings {

// Where the window was and how large, kept in dev.dat, section [WINDOW] (keys Left, Top, Width,
// Height, Maximized): the station's screen, like its ports. Read at start, written at exit.
struct WindowGeometry {
    QRect frame; // the window's outer rectangle, in the desktop's coordinates
    bool maximized = false;
    bool operator==(const WindowGeometry&) const = default;
};

// The geometry kept, or none when the section is missing or a key is malformed (a width or height
// that is not positive counts as malformed).
std::optional<WindowGeometry> ReadWindowGeometry(const IniFile& ini);
// The entries that keep it.
std::vector<IniEntry> WindowGeometryEntries(const WindowGeometry& geometry);

// The geometry as it can be shown on screens with these available areas (the first is the primary
// one): no smaller than `minimum`, no larger than the screen it is on, and on it whole, so that a
// window kept on a screen since unplugged, or beyond any screen's edge, comes back where it can be
// reached. A window on no screen goes to the middle of the primary one. With no screen at all it is
// returned as it is.
WindowGeometry FitToScreens(WindowGeometry geometry, const std::vector<QRect>& screens, QSize minimum);

} // namespace olv::settings
