#include "platform/host_words.hpp"

namespace celvio {

const HostWords& hostWords() {
    static constexpr HostWords words{
        .thisHost = "This Computer",
        .host = "Computer",
        .thisHostInText = "this computer",
        // usbmuxd lists a device over the network only when built with that support, and
        // only a device that has Wi-Fi sync turned on announces itself there.
        .wifiStep = "A device shows up over Wi\u2011Fi only when the usbmux daemon supports network devices and "
                    "Wi\u2011Fi sync was enabled on the device.",
        .mainsPowerOnly = "This computer runs on mains power only.",
        .systemName = "Linux",
        .notPaired = "This computer is not paired with the device. Connect it once via USB and tap \u201CTrust\u201D on "
                     "the device.",
        .noLongerTrusted = "The device no longer trusts this computer. Connect it via USB and tap \u201CTrust\u201D.",
    };
    return words;
}

}  // namespace celvio
