#include "reading/raw_values.hpp"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <variant>

namespace celvio::RawValues {

namespace {

constexpr std::size_t kMaxDataBytes = 24;
constexpr std::size_t kMaxArrayElements = 8;
constexpr int kDeepestExpandedDepth = 1;
constexpr const char* kHiddenDictionary = "{…}";

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;  // clang 14 does not deduce aggregates yet

std::string realText(double value) {
    char text[64];
    const auto result = std::to_chars(std::begin(text), std::end(text), value);
    return std::string(text, result.ptr);
}

std::string dataText(const Bytes& data) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = "<";
    for (std::size_t i = 0; i < data.size() && i < kMaxDataBytes; ++i) {
        text += kHex[data[i] >> 4];
        text += kHex[data[i] & 0xf];
    }
    if (data.size() > kMaxDataBytes) text += "… " + std::to_string(data.size()) + " bytes";
    return text + ">";
}

std::string arrayText(const PlistArray& array) {
    std::string text = "[";
    for (std::size_t i = 0; i < array.size() && i < kMaxArrayElements; ++i) {
        if (i > 0) text += ", ";
        text += describe(array[i]);  // a dictionary describes itself as "{…}"
    }
    if (array.size() > kMaxArrayElements) text += ", … (" + std::to_string(array.size()) + ")";
    return text + "]";
}

std::string dateText(PlistDate date) {
    using namespace std::chrono;
    constexpr seconds kEpoch2001 = sys_days{year{2001} / January / 1}.time_since_epoch();
    constexpr auto kFirst = sys_days{year{-9999} / January / 1}.time_since_epoch() - kEpoch2001;
    constexpr auto kEnd = sys_days{year{10000} / January / 1}.time_since_epoch() - kEpoch2001;

    const double whole = std::floor(date.secondsSince2001);  // Apple's text drops the fraction
    if (!(whole >= double(seconds(kFirst).count()) && whole < double(seconds(kEnd).count())))
        return realText(date.secondsSince2001);

    const sys_seconds time{kEpoch2001 + seconds(static_cast<std::int64_t>(whole))};
    const auto day = floor<days>(time);
    const year_month_day ymd{day};
    const hh_mm_ss clock{time - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d +0000", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()), int(clock.hours().count()), int(clock.minutes().count()),
                  int(clock.seconds().count()));
    return text;
}

void appendRows(std::vector<RawRow>& rows, const PlistDict& dict, const std::string& prefix, int depth) {
    // PlistDict orders keys by bytes, and UTF-8 byte order is code-point order.
    for (const auto& [key, value] : dict) {
        std::string fullKey = prefix.empty() ? key : prefix + "." + key;
        if (const auto* inner = value.get<PlistDict>(); inner && depth <= kDeepestExpandedDepth)
            appendRows(rows, *inner, fullKey, depth + 1);
        else
            rows.emplace_back(std::move(fullKey), describe(value));
    }
}

}  // namespace

std::vector<RawRow> flatten(const PlistDict& dict, const std::string& prefix, int depth) {
    std::vector<RawRow> rows;
    appendRows(rows, dict, prefix, depth);
    return rows;
}

std::string describe(const PlistValue& value) {
    return std::visit(Overloaded{
                          [](bool b) -> std::string { return b ? "true" : "false"; },
                          [](std::int64_t i) { return std::to_string(i); },
                          [](double d) { return realText(d); },
                          [](const std::string& s) { return s; },
                          [](const Bytes& data) { return dataText(data); },
                          [](const PlistArray& array) { return arrayText(array); },
                          [](const PlistDict&) -> std::string { return kHiddenDictionary; },
                          [](PlistDate date) { return dateText(date); },
                      },
                      value.storage());
}

}  // namespace celvio::RawValues
