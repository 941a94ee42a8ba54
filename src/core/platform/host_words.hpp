#pragma once

#include <string_view>

namespace celvio {

/// User-visible texts that name the host computer or its system. Each platform backend
/// has its own table, so every other file stays free of platform words. Part of what a
/// platform provides (platform/host_platform.hpp).
struct HostWords {
    std::string_view thisHost;        ///< "This Computer": the menu item
    std::string_view host;            ///< "Computer": the host's section, its name and kind when unknown
    std::string_view thisHostInText;  ///< "this computer": within a sentence
    std::string_view wifiStep;        ///< the connect help's step on what makes a device show up over Wi-Fi
    std::string_view mainsPowerOnly;  ///< under "No internal battery"
    std::string_view systemName;      ///< "Linux"
    std::string_view notPaired;       ///< the pairing-record-missing message
    std::string_view noLongerTrusted; ///< the device's InvalidHostID answer
};

const HostWords& hostWords();

}  // namespace celvio
