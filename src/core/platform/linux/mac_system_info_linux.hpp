#pragma once

#include "reading/mac_system_info.hpp"
#include "platform/linux/system_facts.hpp"

namespace celvio {

/// The record the facts describe. Model identifier: DMI product name. Product name: the
/// device-tree model, the catalog's marketing name, DMI family, DMI version, the
/// identifier. Chip: the device tree's SoC, else the processor in cpuinfo. Name: the
/// pretty host name of machine-info, else the host name. Firmware placeholders
/// ("To Be Filled By O.E.M.") count as missing. Kind: machine-info's CHASSIS, else the
/// DMI chassis type.
MacSystemInfo systemInfo(const SystemFacts& facts);

}  // namespace celvio
