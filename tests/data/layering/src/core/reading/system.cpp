// Reads like /proc/cpuinfo belong to the platform.
const char* const kCpuinfo = "/proc/cpuinfo";
