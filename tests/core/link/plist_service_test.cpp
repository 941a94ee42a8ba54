#include "link/plist_service.hpp"

#include "memory_stream.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

using namespace celvio;
using celvio::test::bytesOf;
using celvio::test::expectError;
using celvio::test::MemoryStream;

namespace {

Bytes lengthOnly(std::uint32_t n) {
    return {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)};
}

Bytes framed(const Bytes& payload) {
    Bytes out = lengthOnly(static_cast<std::uint32_t>(payload.size()));
    out.resize(4 + payload.size());  // not insert(): GCC 12 misreads it at -O2 as an overflow
    std::copy(payload.begin(), payload.end(), out.begin() + 4);
    return out;
}
}  // namespace

TEST(PlistService, SendsLengthAndPayloadInOneWrite) {
    const PlistDict message{{"Request", "QueryType"}};
    auto stream = std::make_shared<MemoryStream>();
    PlistService(stream).send(message);
    EXPECT_EQ(stream->writes, std::vector<Bytes>{framed(bytesOf(encodeXML(message)))});
}

TEST(PlistService, LengthLimits) {
    for (std::uint32_t bad : {0u, 67'108'864u, 0xFFFFFFFFu}) {
        auto stream = std::make_shared<MemoryStream>(lengthOnly(bad));
        expectError([&] { PlistService(stream).receive(); }, "Invalid message length " + std::to_string(bad));
        EXPECT_EQ(stream->readRequests, std::vector<std::size_t>{4}) << "read past the length " << bad;
    }
    // The largest accepted length is asked for in full (the stream then runs dry).
    auto stream = std::make_shared<MemoryStream>(lengthOnly(67'108'863u));
    expectError([&] { PlistService(stream).receive(); }, "The connection was closed by the device.");
    EXPECT_EQ(stream->readRequests, (std::vector<std::size_t>{4, 67'108'863}));
}

TEST(PlistService, ReceivesXMLAndBinaryDictionariesOnly) {
    const PlistDict reply{{"Type", "com.apple.mobile.lockdown"}, {"Value", -407}};
    for (const Bytes& payload : {bytesOf(encodeXML(reply)), encodeBinary(reply)}) {
        auto stream = std::make_shared<MemoryStream>(framed(payload));
        EXPECT_EQ(PlistService(stream).receive(), reply);
    }
    expectError([] { PlistService(std::make_shared<MemoryStream>(framed(encodeBinary(PlistArray{1, 2})))).receive(); },
                "Unexpected response from device");
    EXPECT_THROW(PlistService(std::make_shared<MemoryStream>(framed(bytesOf("no property list")))).receive(),
                 PropertyListError);
}
