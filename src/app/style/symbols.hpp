#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>

#include <string_view>
#include <vector>

class QLabel;
class QWidget;

/// The symbol images of the views, drawn from the Material Icons font. Every symbol
/// name the views use maps to one glyph here; an unknown name draws nothing.
namespace celvio::Symbols {

/// The glyph's text for a symbol name ("bolt.fill"); empty for an unknown name.
QString glyph(std::string_view name);
/// Every name the table knows, for tests.
std::vector<std::string_view> names();

/// The icon font at `pixelSize`, loaded from the system's font files on first use.
QFont font(double pixelSize);

/// A label showing the symbol at `pixelSize` in `colour`.
QLabel* label(std::string_view name, double pixelSize, const QColor& colour, QWidget* parent = nullptr);
/// The symbol drawn centred in a square of `pixelSize` device-independent pixels at the
/// screen's pixel ratio; a null pixmap for an unknown name.
QPixmap pixmap(std::string_view name, double pixelSize, const QColor& colour);

/// The icon of a device model (its model identifier or product type) with the symbol
/// `fallbackSymbol` when the model has none (an iPad's code draws the "ipad" symbol),
/// drawn large enough to be scaled down.
/// Main thread only; the reference stays valid for the process.
const QPixmap& deviceIcon(std::string_view modelCode, std::string_view fallbackSymbol);

}  // namespace celvio::Symbols
