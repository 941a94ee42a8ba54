const auto machineInfo = root / "etc/machine-info";
const auto supplies = root / "sys" / "class";
const auto systemName = "system";
