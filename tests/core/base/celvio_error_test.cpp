#include "base/celvio_error.hpp"

#include <gtest/gtest.h>

using celvio::CelvioError;

TEST(CelvioError, DescriptionsCarryTheirCasePrefix) {
    const struct {
        CelvioError error;
        const char* description;
    } rows[] = {
        {CelvioError::socket("send failed: Broken pipe"), "Socket: send failed: Broken pipe"},
        {CelvioError::usbmux("Connect to port 62078 failed: connection refused by device"),
         "usbmuxd: Connect to port 62078 failed: connection refused by device"},
        {CelvioError::lockdown("Device error: InvalidService"), "Device error: InvalidService"},
        {CelvioError::tls("Write failed (5)"), "TLS: Write failed (5)"},
        {CelvioError::pairing("The pairing record has no HostID."), "The pairing record has no HostID."},
        {CelvioError::diagnostics("No battery data returned by the device."),
         "Diagnostics: No battery data returned by the device."},
        {CelvioError::timeout(), "The device did not respond in time."},
        {CelvioError::connectionClosed(), "The connection was closed by the device."},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.error.description(), row.description);
        EXPECT_STREQ(row.error.what(), row.description);
    }
    EXPECT_EQ(CelvioError::timeout().message(), "");
    EXPECT_EQ(CelvioError::tls("x").kind(), CelvioError::Kind::tls);
}
