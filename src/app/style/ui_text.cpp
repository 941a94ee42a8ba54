#include "style/ui_text.hpp"

#include <QLocale>

namespace celvio::UiText {

QString percent(std::optional<double> value, int digits) {
    if (!value) return absent();
    return number(*value, digits) + " %";
}

QString number(double value, int digits) { return QLocale().toString(value, 'f', digits); }

QString grouped(std::int64_t value) { return QLocale().toString(static_cast<qlonglong>(value)); }

QString day(std::optional<std::chrono::system_clock::time_point> date) { return fromStd(dayString(date)); }

QString fromStd(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string toStd(const QString& text) { return text.toStdString(); }

}  // namespace celvio::UiText

namespace celvio {

std::string LocaleNumberFormat::grouped(std::int64_t value) const { return UiText::toStd(UiText::grouped(value)); }

std::string LocaleNumberFormat::fixed(double value, int digits) const {
    return UiText::toStd(UiText::number(value, digits));
}

}  // namespace celvio
