#pragma once

class QApplication;

namespace celvio {

/// The window is always dark, whatever the desktop's theme: the Fusion style with a
/// palette from the theme's colours, amber as the tint of every control.
void useDarkAppearance(QApplication& app);

}  // namespace celvio
