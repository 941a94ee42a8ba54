#include "platform/host_platform.hpp"
#include "platform/linux/mac_system_info_linux.hpp"

#include <gtest/gtest.h>

#include <regex>

using namespace celvio;

namespace {

constexpr std::nullopt_t none = std::nullopt;

std::filesystem::path tree(const std::string& name) { return std::filesystem::path(CELVIO_HOST_DATA_DIR) / name; }

}  // namespace

TEST(MacSystemInfo, FamilyAndVariant) {
    const struct {
        const char* productName;
        const char* family;
        std::optional<std::string> variant;
    } rows[] = {{"MacBook Pro (14-inch, 2023)", "MacBook Pro", "14-inch, 2023"}, {"X) (Y", "X)", std::nullopt},
                {"ThinkPad X1 Carbon Gen 9", "ThinkPad X1 Carbon Gen 9", std::nullopt}, {"Empty ()", "Empty", ""},
                {"Mac Pro (2019) (Rack)", "Mac Pro", "2019) (Rack"}, {"Board(rev 2)", "Board(rev 2)", "rev 2"}};
    for (const auto& row : rows) {
        const MacSystemInfo info{.productName = row.productName};
        EXPECT_EQ(std::tuple(info.familyName(), info.variantName()), std::tuple(row.family, row.variant));
    }
}

TEST(MacSystemInfo, FromFacts) {
    EXPECT_EQ(systemInfo({.memoryBytes = 17'179'869'184}).memoryGB, 16);
    EXPECT_EQ(systemInfo({.memoryBytes = 17'179'869'183}).memoryGB, 15);

    const struct {
        const char* release;
        const char* version;
    } releases[] = {{"6.1.0-18-amd64", "6.1.0"}, {"6.8-rc1", "6.8.0"}, {"5.15", "5.15.0"},
                    {"6.6.0-asahi-15-1-edge-ARCH", "6.6.0"}, {"", "0.0.0"}, {"unknown", "0.0.0"}};
    for (const auto& row : releases)
        EXPECT_EQ(systemInfo({.kernelRelease = row.release}).osVersion, row.version) << row.release;

    // Device-tree strings end in zero bytes; blanks alone are nothing.
    using namespace std::string_literals;
    EXPECT_EQ(systemInfo({.deviceTreeModel = "Raspberry Pi 4 Model B Rev 1.4\0\0\0"s}).productName,
              "Raspberry Pi 4 Model B Rev 1.4");
    const MacSystemInfo blank = systemInfo({.productName = "MacBookPro16,1\n", .deviceTreeModel = " \t\0 \0"s});
    EXPECT_EQ(blank.productName, "MacBook Pro (16-inch, 2019)");  // the catalog's name for the identifier
    EXPECT_EQ(systemInfo({.deviceTreeCompatible = "raspberrypi,4-model-b\0brcm,bcm2711\0"s}).chip, "brcm,bcm2711");

    // The placeholder list itself is data; these show it applies to every field, in any case.
    for (const char* filler : {"1.0", "To be filled by O.E.M.", "INVALID"}) {
        const MacSystemInfo info = systemInfo(
            {.productName = "MS-7C95", .productFamily = filler, .productVersion = filler, .productSerial = filler});
        EXPECT_EQ(std::tuple(info.productName, info.serialNumber), std::tuple("MS-7C95", std::nullopt)) << filler;
        EXPECT_EQ(systemInfo({.productName = filler}).modelIdentifier, "Computer") << filler;
    }

    // Unfilled firmware fields and names fall back to the host word.
    const MacSystemInfo unfilled =
        systemInfo({.productName = "To Be Filled By O.E.M.\n", .productFamily = "Default string\n"});
    EXPECT_EQ(std::tuple(unfilled.modelIdentifier, unfilled.productName, unfilled.computerName),
              std::tuple("Computer", "Computer", "Computer"));
    EXPECT_EQ(
        systemInfo({.machineInfo = "CHASSIS=laptop\nPRETTY_HOSTNAME='Ben Laptop'\n", .hostname = "ben"}).computerName,
        "Ben Laptop");
    EXPECT_EQ(systemInfo({.machineInfo = "PRETTY_HOSTNAME=\"Ben \\\"B\\\" Laptop\"\n"}).computerName,
              "Ben \"B\" Laptop");
    EXPECT_EQ(systemInfo({.machineInfo = "PRETTY_HOSTNAME=\n", .hostname = "ben"}).computerName, "ben");
}

TEST(MacSystemInfo, KindFromChassis) {
    const struct {
        std::optional<std::string> machineInfo, chassisType;
        const char* kind;
    } rows[] = {{none, "9\n", "Laptop"},       {none, "10", "Laptop"},     {none, "31\n", "Laptop"},
                {none, "3\n", "Desktop"},      {none, "13\n", "Desktop"}, {none, "1\n", "Computer"},
                {none, "30\n", "Computer"},    {none, "x", "Computer"},    {none, none, "Computer"},
                {"CHASSIS=desktop\n", "10\n", "Desktop"}, {"CHASSIS=vm\n", "9\n", "Laptop"},
                {"CHASSIS=convertible\n", none, "Laptop"}};
    for (const auto& row : rows)
        EXPECT_EQ(systemInfo({.chassisType = row.chassisType, .machineInfo = row.machineInfo}).kind, row.kind)
            << row.chassisType.value_or("-") << " " << row.machineInfo.value_or("-");
}

TEST(MacSystemInfo, RecordedSystems) {
    const struct {
        const char* tree;
        MacSystemInfo expected;
    } rows[] = {
        // No memory blocks: MemTotal 16,106,560 KiB = 15.4 GiB, up to a whole GiB.
        {"charge-ac-charging", {"Anna's MacBook Pro", "MacBookPro16,1", "MacBook Pro (16-inch, 2019)", none, none, none,
                                "Intel(R) Core(TM) i7-9750H CPU @ 2.60GHz", 16, "6.1.0", 273845.61, "Laptop"}},
        {"energy-discharging", {"x1", "20XW0055GE", "ThinkPad X1 Carbon Gen 9", none, none, none,
                                "11th Gen Intel(R) Core(TM) i7-1165G7 @ 2.80GHz", 31, "6.8.0", 273845.61, "Laptop"}},
        {"asahi", {"air", "Computer", "Apple MacBook Air (13-inch, M2, 2022)", none, none, none, "apple,t8112", 16,
                   "6.6.0", 59.99, "Computer"}},
        // 65,768,212 KiB = 62.7 GiB.
        {"desktop", {"tower", "Computer", "Computer", none, none, none, "AMD Ryzen 7 5800X 8-Core Processor", 63,
                     "5.15.0", 0.42, "Desktop"}},
        // Filler in DMI family, version and serial; 8 online blocks of 0x80000000 bytes
        // = 16 GiB installed, where MemTotal (13.5 GiB) leaves out the graphics' share.
        {"msi-desktop", {"msi", "MS-7C95", "MS-7C95", none, none, none, "AMD Ryzen 5 5600G with Radeon Graphics", 16,
                         "6.1.0", 3600.5, "Desktop"}},
    };
    for (const auto& row : rows) EXPECT_EQ(readMacSystemInfo(tree(row.tree)), row.expected) << row.tree;
}

TEST(MacSystemInfo, ThisMachine) {
    const MacSystemInfo info = readMacSystemInfo();
    EXPECT_TRUE(std::regex_match(info.osVersion, std::regex(R"(\d+\.\d+\.\d+)"))) << info.osVersion;
    EXPECT_GT(info.uptime, 0);
    EXPECT_FALSE(info.computerName.empty());
}
