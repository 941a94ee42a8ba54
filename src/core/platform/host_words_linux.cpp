#include "platform/host_words.hpp"

namespace celvio {

const HostWords& hostWords() {
    static constexpr HostWords words{
        .thisHost = "This Computer",
        .systemName = "Linux",
        .notPaired = "This computer is not paired with the device. Connect it once via USB and tap \u201CTrust\u201D on "
                     "the device.",
    };
    return words;
}

}  // namespace celvio
