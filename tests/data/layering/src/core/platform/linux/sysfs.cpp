const char* const kSupplies = "/sys/class/power_supply";
