#include "panels/power_state.hpp"

#include "base/units.hpp"
#include "style/ui_text.hpp"
#include "style/theme.hpp"

#include <cstdlib>

namespace celvio {

PowerState PowerState::from(std::optional<std::int64_t> millivolts, std::optional<std::int64_t> milliamps,
                            bool externalConnected, bool fullyCharged) {
    const std::int64_t amps = millivolts && milliamps ? *milliamps : 0;
    const double watts = amps == 0 ? 0.0 : std::abs(wattsOf(*millivolts, amps));
    if (amps < 0) return {"Discharging with " + UiText::number(watts, 1) + " W", "arrow.down.right", Theme::amber()};
    if (amps > 0) return {"Charging with " + UiText::number(watts, 1) + " W", "bolt.fill", Theme::green()};
    if (!externalConnected) return {"Running on battery", "battery.75percent", Theme::amber()};
    return {fullyCharged ? QString::fromUtf8("On adapter \u00b7 fully charged")
                         : QString::fromUtf8("On adapter \u00b7 not charging"),
            "powerplug.fill", Theme::blue()};
}

QString adapterValue(bool externalConnected, std::optional<std::int64_t> adapterWatts) {
    if (!externalConnected) return UiText::absent();
    if (adapterWatts) return QString::number(*adapterWatts) + " W";
    return "Connected";
}

}  // namespace celvio
