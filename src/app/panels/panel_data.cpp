#include "panels/panel_data.hpp"

#include "style/ui_text.hpp"
#include "style/theme.hpp"

namespace celvio {
namespace {

const QString dot = QString::fromUtf8(" \u00b7 ");

QString mAh(std::int64_t value) { return UiText::grouped(value) + " mAh"; }

QString mAh(const std::optional<std::int64_t>& value) { return value ? mAh(*value) : UiText::absent(); }

QString hours(std::int64_t minutes) { return UiText::fromStd(hoursString(minutes)); }

QString temperature(const std::optional<double>& celsius) {
    return UiText::fromStd(temperatureString(celsius, LocaleNumberFormat()));
}

QString volts(std::int64_t millivolts) { return UiText::fromStd(voltsString(millivolts, LocaleNumberFormat())); }

QColor temperatureTint(const std::optional<double>& celsius) {
    return celsius && *celsius > 40 ? Theme::red() : Theme::orange();
}

std::optional<QString> adapterNote(bool externalConnected, const std::optional<std::string>& adapterName) {
    if (!externalConnected) return QString("not connected");
    if (adapterName) return UiText::fromStd(*adapterName);
    return std::nullopt;
}

std::vector<Sections::Section> joined(std::vector<Sections::Section> first, std::vector<Sections::Section> second) {
    for (auto& section : second) first.push_back(std::move(section));
    return first;
}

}  // namespace

PanelData macPanelData(const MacBatteryInfo& b, const MacSystemInfo& system, bool lowPowerMode) {
    const LocaleNumberFormat format;
    PanelData data;
    data.iconModel = system.modelIdentifier;
    data.iconFallback = "laptopcomputer";
    data.name = UiText::fromStd(system.familyName());
    QStringList subtitle;
    if (const auto variant = system.variantName()) subtitle << UiText::fromStd(*variant);
    if (system.regulatoryModel) subtitle << UiText::fromStd(*system.regulatoryModel);
    data.subtitle = subtitle.join(dot);
    data.chargePercent = static_cast<double>(b.chargePercent);
    if (b.fullChargeCapacity && b.designCapacity) data.health = b.health();  // no gauge without capacities
    data.power = PowerState::from(b.voltage, b.amperage, b.externalConnected, b.fullyCharged);
    if (b.timeToEmpty)
        data.timeInfo = hours(*b.timeToEmpty) + " left";
    else if (b.timeToFull)
        data.timeInfo = hours(*b.timeToFull) + " to full";

    const std::optional<double> celsius = b.temperature;
    data.stats = {
        {"battery.50percent", Theme::green(), "Charge", mAh(b.currentCapacity),
         QString::number(b.chargePercent) + " % of full"},
        {"battery.100percent", Theme::green(), "Full Charge", mAh(b.fullChargeCapacity),
         "Nominal " + mAh(b.nominalChargeCapacity)},
        {"sparkles", Theme::amber(), "Design Capacity", mAh(b.designCapacity), QString("when new")},
        {"arrow.triangle.2.circlepath", Theme::blue(), "Cycles", QString::number(b.cycleCount),
         b.designCycleCount ? std::optional<QString>("of " + UiText::grouped(*b.designCycleCount) + " rated")
                            : std::nullopt},
        {"thermometer.medium", temperatureTint(celsius), "Temperature", temperature(celsius), std::nullopt},
        {"calendar", Theme::amber(), "Manufactured", UiText::day(b.manufactureDate),
         b.manufactureDate ? std::optional<QString>(UiText::fromStd(ageString(*b.manufactureDate))) : std::nullopt},
        {"powerplug.fill", Theme::blue(), "Adapter", adapterValue(b.externalConnected, b.adapterWatts),
         adapterNote(b.externalConnected, b.adapterName)},
        {"leaf.fill", lowPowerMode ? Theme::green() : Theme::faint(), "Low Power Mode",
         lowPowerMode ? "Enabled" : "Disabled", volts(b.voltage) + dot + QString::number(b.amperage) + " mA"},
    };
    // The same key the history records the computer under.
    data.historySerial = system.serialNumber.value_or(system.modelIdentifier);
    data.details = joined(Sections::mac(system, format), Sections::macBattery(b, format));
    data.updated = b.readDate;
    return data;
}

PanelData iosPanelData(const IOSDeviceInfo& info, const std::optional<std::string>& error) {
    const LocaleNumberFormat format;
    const IOSBatteryInfo& bt = info.battery;
    PanelData data;
    data.iconModel = info.productType;
    data.iconFallback = info.deviceClass == "iPad" ? "ipad" : "iphone";
    data.name = UiText::fromStd(info.name);
    data.subtitle =
        UiText::fromStd(info.marketingName) + QString::fromUtf8(" \u00b7 iOS ") + UiText::fromStd(info.osVersion);
    if (bt.chargePercent) data.chargePercent = static_cast<double>(*bt.chargePercent);
    data.health = bt.health();
    data.power = PowerState::from(bt.voltage, bt.amperage, bt.externalConnected, bt.fullyCharged);

    const bool network = info.connection == MuxDevice::Connection::network;
    data.stats = {
        {"battery.50percent", Theme::green(), "Charge", mAh(bt.currentCapacity),
         bt.chargePercent ? std::optional<QString>(QString::number(*bt.chargePercent) + " % of full") : std::nullopt},
        {"battery.100percent", Theme::green(), "Full Charge", mAh(bt.fullChargeCapacity), std::nullopt},
        {"sparkles", Theme::amber(), "Design Capacity", mAh(bt.designCapacity), QString("when new")},
        {"arrow.triangle.2.circlepath", Theme::blue(), "Cycles",
         bt.cycleCount ? QString::number(*bt.cycleCount) : UiText::absent(), std::nullopt},
        {"thermometer.medium", temperatureTint(bt.temperature), "Temperature", temperature(bt.temperature),
         std::nullopt},
        {"waveform.path.ecg", Theme::blue(), "Voltage", bt.voltage ? volts(*bt.voltage) : UiText::absent(),
         bt.amperage ? std::optional<QString>(QString::number(*bt.amperage) + " mA") : std::nullopt},
        {"powerplug.fill", Theme::blue(), "Adapter", adapterValue(bt.externalConnected, bt.adapterWatts),
         adapterNote(bt.externalConnected, bt.adapterName)},
        {network ? "wifi" : "cable.connector", Theme::blue(), "Connected via",
         network ? QString::fromUtf8("Wi\u2011Fi") : QString("USB"),
         info.regulatoryModel ? std::optional<QString>(UiText::fromStd(*info.regulatoryModel)) : std::nullopt},
    };
    data.historySerial = info.serialNumber;
    data.details = joined(Sections::device(info), Sections::deviceBattery(bt, format));
    data.updated = info.readDate;
    if (error) data.warning = "Last refresh failed: " + UiText::fromStd(*error);
    return data;
}

}  // namespace celvio
