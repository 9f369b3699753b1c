#include "settings/window_geometry.h"

#include <algorithm>
#include <limits>

namespace olv::settings {

namespace {

const QString Section = QStringLiteral("WINDOW");

// A key as a whole decimal number, none when absent or malformed.
std::optional<int> Number(const IniFile& ini, const char* key) {
    const QString text = ini.readString(Section, QString::fromLatin1(key), QString()).trimmed();
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// How much of `a` lies on `b`, in pixels (64 bits: no product of two ints overflows).
int64_t Overlap(const QRect& a, const QRect& b) {
    const QRect both = a.intersected(b);
    return both.isEmpty() ? 0 : int64_t{both.width()} * both.height();
}

} // namespace

std::optional<WindowGeometry> ReadWindowGeometry(const IniFile& ini) {
    const auto left = Number(ini, "Left");
    const auto top = Number(ini, "Top");
    const auto width = Number(ini, "Width");
    const auto height = Number(ini, "Height");
    if (!left || !top || !width || !height || *width <= 0 || *height <= 0) return std::nullopt;
    WindowGeometry geometry;
    // Kept within what a rectangle holds: its right edge is left + width - 1.
    constexpr int Far = 1 << 24;
    geometry.frame = QRect(std::clamp(*left, -Far, Far), std::clamp(*top, -Far, Far), std::min(*width, Far),
                           std::min(*height, Far));
    geometry.maximized = Number(ini, "Maximized").value_or(0) == 1;
    return geometry;
}

std::vector<IniEntry> WindowGeometryEntries(const WindowGeometry& geometry) {
    const QRect& f = geometry.frame;
    return {{Section, QStringLiteral("Left"), QString::number(f.left())},
            {Section, QStringLiteral("Top"), QString::number(f.top())},
            {Section, QStringLiteral("Width"), QString::number(f.width())},
            {Section, QStringLiteral("Height"), QString::number(f.height())},
            {Section, QStringLiteral("Maximized"), geometry.maximized ? QStringLiteral("1") : QStringLiteral("0")}};
}

WindowGeometry FitToScreens(WindowGeometry geometry, const std::vector<QRect>& screens, QSize minimum) {
    if (screens.empty()) return geometry;
    // The screen that holds most of it; on none, the primary one, in its middle.
    const QRect* screen = &screens.front();
    int64_t most = 0;
    for (const QRect& candidate : screens)
        if (const int64_t overlap = Overlap(geometry.frame, candidate); overlap > most) {
            most = overlap;
            screen = &candidate;
        }
    QRect frame = geometry.frame;
    frame.setWidth(std::clamp(frame.width(), std::min(minimum.width(), screen->width()), screen->width()));
    frame.setHeight(std::clamp(frame.height(), std::min(minimum.height(), screen->height()), screen->height()));
    if (most == 0) frame.moveCenter(screen->center());
    // On it whole (the centre's rounding may leave a pixel over an edge).
    frame.moveLeft(std::clamp(frame.left(), screen->left(), screen->right() - frame.width() + 1));
    frame.moveTop(std::clamp(frame.top(), screen->top(), screen->bottom() - frame.height() + 1));
    geometry.frame = frame;
    return geometry;
}

} // namespace olv::settings
