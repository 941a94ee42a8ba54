#include "platform/host_words.hpp"

namespace celvio {

const HostWords& hostWords() {
    static constexpr HostWords words{
        .thisHost = "This Computer",
        .shortHost = "PC",
        .host = "Computer",
        .mainsPowerOnly = "This computer runs on mains power only.",
        .systemName = "Linux",
        .notPaired = "This computer is not paired with the device. Connect it once via USB and tap \u201CTrust\u201D on "
                     "the device.",
        .noLongerTrusted = "The device no longer trusts this computer. Connect it via USB and tap \u201CTrust\u201D.",
    };
    return words;
}

}  // namespace celvio
