#include "style/symbols.hpp"

#include "reading/device_catalog.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <array>
#include <utility>

namespace celvio::Symbols {
namespace {

// Material Icons code points, from the font's published code point list.
constexpr std::array<std::pair<std::string_view, char16_t>, 30> kGlyphs{{
    {"arrow.clockwise", 0xe5d5},                   // refresh
    {"arrow.down.right", 0xf1e4},                  // south_east
    {"arrow.triangle.2.circlepath", 0xe863},       // autorenew
    {"battery.100percent", 0xe1a4},                // battery_full
    {"battery.50percent", 0xebdd},                 // battery_3_bar
    {"battery.75percent", 0xebd4},                 // battery_5_bar
    {"bolt.fill", 0xea0b},                         // bolt
    {"cable.connector", 0xe1e0},                   // usb
    {"calendar", 0xe935},                          // calendar_today
    {"chart.xyaxis.line", 0xe6e1},                 // show_chart
    {"chevron.right", 0xe5cc},                     // chevron_right
    {"cup.and.saucer.fill", 0xe541},               // local_cafe
    {"curlybraces", 0xead3},                       // data_object
    {"exclamationmark.triangle", 0xf083},          // warning_amber
    {"exclamationmark.triangle.fill", 0xe002},     // warning
    {"ipad", 0xe331},                              // tablet_mac
    {"iphone", 0xe325},                            // phone_iphone
    {"iphone.radiowaves.left.and.right", 0xe0dd},  // phonelink_ring
    {"iphone.slash", 0xe201},                      // mobile_off
    {"laptopcomputer", 0xe320},                    // laptop_mac
    {"leaf.fill", 0xea35},                         // eco
    {"powerplug", 0xe63c},                         // power
    {"powerplug.fill", 0xe63c},                    // power
    {"sparkles", 0xe65f},                          // auto_awesome
    {"square.and.arrow.down", 0xe2c4},             // file_download
    {"square.and.arrow.up", 0xe6b8},               // ios_share
    {"thermometer.medium", 0xf076},                // thermostat
    {"trash", 0xe872},                             // delete
    {"waveform.path.ecg", 0xeaa2},                 // monitor_heart
    {"wifi", 0xe63e},                              // wifi
}};

static_assert(std::is_sorted(kGlyphs.begin(), kGlyphs.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; }));

QString family() {
    static const QString name = [] {
        const QString wanted = "Material Icons";
        if (QFontDatabase::families().contains(wanted)) return wanted;
        // Without fontconfig's view of the system fonts (some platforms plugins), load the file.
        const int id =
            QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/material-design-icons-iconfont/"
                                              "MaterialIcons-Regular.ttf");
        const QStringList loaded = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        return loaded.isEmpty() ? wanted : loaded.constFirst();
    }();
    return name;
}

}  // namespace

QString glyph(std::string_view name) {
    const auto found = std::lower_bound(kGlyphs.begin(), kGlyphs.end(), name,
                                        [](const auto& entry, std::string_view key) { return entry.first < key; });
    if (found == kGlyphs.end() || found->first != name) return {};
    return QString(QChar(found->second));
}

std::vector<std::string_view> names() {
    std::vector<std::string_view> all;
    for (const auto& entry : kGlyphs) all.push_back(entry.first);
    return all;
}

QFont font(double pixelSize) {
    QFont symbols(family());
    symbols.setPixelSize(std::max(1, qRound(pixelSize)));
    symbols.setStyleStrategy(QFont::NoFontMerging);
    return symbols;
}

QLabel* label(std::string_view name, double pixelSize, const QColor& colour, QWidget* parent) {
    auto* symbol = new QLabel(glyph(name), parent);
    symbol->setFont(font(pixelSize));
    TextStyle::setTextColour(symbol, colour);
    symbol->setAlignment(Qt::AlignCenter);
    return symbol;
}

QPixmap pixmap(std::string_view name, double pixelSize, const QColor& colour) {
    const QString text = glyph(name);
    if (text.isEmpty()) return {};
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const int side = qRound(pixelSize * ratio);
    QPixmap image(side, side);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(colour);
    painter.setFont(font(side));
    painter.drawText(QRect(0, 0, side, side), Qt::AlignCenter, text);
    painter.end();
    image.setDevicePixelRatio(ratio);
    return image;
}

const QPixmap& deviceIcon(std::string_view modelCode, std::string_view fallbackSymbol) {
    static DeviceCatalog::IconCache<QPixmap> cache(
        [](std::string_view symbol) { return pixmap(symbol, 64, Theme::cream()); });
    // No model has a picture of its own here; an iPad's code at least gets the tablet.
    if (modelCode.starts_with("iPad")) fallbackSymbol = "ipad";
    return cache.icon(modelCode, fallbackSymbol);
}

}  // namespace celvio::Symbols
