#pragma once

#include "display/sections.hpp"

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

/// Number and date texts of the views. Numbers follow the application's default QLocale
/// at the moment of the call, so a changed locale shows on the next redraw.
namespace celvio::UiText {

/// "87.5 %" with exactly `digits` fraction digits and the locale's separators; "—" when
/// absent (no percent sign then).
QString percent(std::optional<double> value, int digits);
/// The value with exactly `digits` fraction digits and the locale's separators.
QString number(double value, int digits);
/// The integer with the locale's digit grouping ("4,382").
QString grouped(std::int64_t value);
/// The UTC calendar day as "yyyy-MM-dd", whatever the user's time zone; "—" when absent.
QString day(std::optional<std::chrono::system_clock::time_point> date);

/// The em dash that stands for every absent value.
inline QString absent() { return QString::fromUtf8(kAbsentText); }

/// The core's UTF-8 texts to and from Qt's.
QString fromStd(const std::string& text);
std::string toStd(const QString& text);

}  // namespace celvio::UiText

namespace celvio {

/// The core's number texts in the application's locale, for `Sections`.
class LocaleNumberFormat final : public NumberFormat {
public:
    std::string grouped(std::int64_t value) const override;
    std::string fixed(double value, int digits) const override;
};

}  // namespace celvio
