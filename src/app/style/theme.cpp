#include "style/theme.hpp"

namespace celvio::Theme {

QColor backgroundTop() { return {30, 23, 19}; }
QColor backgroundBottom() { return {18, 14, 11}; }
QColor card() { return white(0.05); }
QColor cream() { return {246, 237, 226}; }
QColor muted() { return withOpacity(cream(), 0.58); }
QColor faint() { return withOpacity(cream(), 0.34); }
QColor amber() { return {232, 169, 91}; }
QColor green() { return {76, 211, 126}; }
QColor orange() { return {240, 162, 59}; }
QColor red() { return {229, 99, 77}; }
QColor blue() { return {108, 180, 240}; }
QColor violet() { return {199, 146, 234}; }

QColor white(double opacity) { return withOpacity(Qt::white, opacity); }

QColor withOpacity(QColor colour, double opacity) {
    colour.setAlphaF(static_cast<float>(opacity));
    return colour;
}

QColor chargeTint(double percent) {
    if (percent > 20) return green();
    if (percent > 10) return orange();
    return red();
}

QColor healthTint(double percent) {
    if (percent >= 80) return green();
    if (percent >= 60) return orange();
    return red();
}

const std::array<QColor, 5>& palette() {
    static const std::array<QColor, 5> colours{green(), amber(), blue(), violet(), red()};
    return colours;
}

}  // namespace celvio::Theme
