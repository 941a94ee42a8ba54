#pragma once

#include <QColor>

#include <array>
#include <optional>

/// The one palette every view draws with. Channels are 8-bit sRGB values, so each
/// constant is the exact fraction n/255.
namespace celvio::Theme {

QColor backgroundTop();     ///< the window's gradient, top
QColor backgroundBottom();  ///< and bottom
QColor card();   ///< white at 5 %
QColor cream();  ///< primary text and icons
QColor muted();  ///< cream at 58 %
QColor faint();  ///< cream at 34 %
QColor amber();
QColor green();
QColor orange();
QColor red();
QColor blue();
QColor violet();

/// White at `opacity` (0…1), for hair-lines, tracks and row stripes.
QColor white(double opacity);
/// `colour` with its alpha replaced by `opacity` (0…1).
QColor withOpacity(QColor colour, double opacity);

/// The text colour on an amber fill: the top of the background.
inline QColor onAmber() { return backgroundTop(); }

/// Green above 20 %, orange above 10 % up to 20 %, red at 10 % or less.
QColor chargeTint(double percent);
/// Green from 80 % up, orange from 60 % up to below 80 %, red below 60 %.
QColor healthTint(double percent);

/// The history's series colours: green, amber, blue, violet, red; device i uses i mod 5.
const std::array<QColor, 5>& palette();
inline const QColor& paletteColour(std::size_t index) { return palette()[index % palette().size()]; }

}  // namespace celvio::Theme
