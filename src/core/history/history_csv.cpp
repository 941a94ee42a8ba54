#include "history/history_csv.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace celvio {
namespace {

/// Appends a field with every ";" turned into "," (there is no quoting).
void appendField(std::string& out, std::string_view field) {
    const std::size_t start = out.size();
    out += field;
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), ';', ',');
}

void appendInteger(std::string& out, std::int64_t value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

/// "%.1f" without the locale: to_chars rounds the exact binary value as printf does.
void appendHealth(std::string& out, double health) {
    char digits[400];  // room for any finite double in fixed notation
    out.append(digits, std::to_chars(digits, digits + sizeof digits, health, std::chars_format::fixed, 1).ptr);
}

}  // namespace

std::string historyCSV(const std::vector<HistoryEntry>& entries) {
    std::string out =
        "date;device;model;serial;cycles;full_charge_capacity_mAh;design_capacity_mAh;health_percent;os;source";
    out.reserve(out.size() + entries.size() * 128);
    for (const auto& entry : entries) {
        out += '\n';
        appendInternetDate(out, entry.date);  // digits, "-", ":", "T", "Z": nothing to replace
        out += ';';
        appendField(out, entry.deviceName);
        out += ';';
        appendField(out, entry.modelIdentifier);
        out += ';';
        appendField(out, entry.deviceSerial);
        out += ';';
        appendInteger(out, entry.cycleCount);
        out += ';';
        appendInteger(out, entry.fullChargeCapacity);
        out += ';';
        appendInteger(out, entry.designCapacity);
        out += ';';
        appendHealth(out, entry.health());
        out += ';';
        appendField(out, entry.osVersion ? std::string_view(*entry.osVersion) : std::string_view());
        out += ';';
        appendField(out, entry.source ? std::string_view(*entry.source) : std::string_view("Celvio"));
    }
    return out;
}

}  // namespace celvio
