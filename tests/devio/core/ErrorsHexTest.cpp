#include "core/ErrorRecord.h"
#include "core/Hex.h"
#include "core/Request.h"

#include <gtest/gtest.h>

#include <thread>

using namespace devio;

TEST(CoreLastError, IsPerThreadAndMovedByRequests)
{
    set_last_error(46, 7, "mine");
    LastError other{};
    std::thread t([&] {
        other = last_error(); // zero at thread start
        set_last_error(28, 1, nullptr);
    });
    t.join();
    EXPECT_EQ(other.code, 0u);
    EXPECT_EQ(last_error().code, 46u);
    EXPECT_EQ(last_error().detail, 7u);
    EXPECT_STREQ(last_error().text, "mine");

    // Waiting on a failed request leaves its record; on a success code 0.
    EXPECT_FALSE(make_immediate_result(53, "why", 9)->wait());
    EXPECT_EQ(last_error().code, 53u);
    EXPECT_EQ(last_error().detail, 9u);
    EXPECT_STREQ(last_error().text, "why");
    EXPECT_TRUE(make_immediate_success()->wait());
    EXPECT_EQ(last_error().code, 0u);

    // A failure made from "no error" is still a failure.
    auto failed = make_immediate_failure_from_error();
    EXPECT_FALSE(failed->wait());
    EXPECT_EQ(last_error().code, 1u);
    EXPECT_EQ(last_error().text, nullptr);
    EXPECT_STREQ(failed->name(), "ImmediateFailure");
    EXPECT_STREQ(make_immediate_result(0, "x", 3)->name(), "ImmediateSuccess");
}

TEST(CoreLastError, ExceptionCopiesCodeDetailAndText)
{
    try {
        throw DevioException("SetupDiGetClassDevs failed", 6, 0x80070005u);
    } catch (const DevioException& e) {
        EXPECT_STREQ(e.what(), "SetupDiGetClassDevs failed");
        e.to_last_error();
    }
    EXPECT_EQ(last_error().code, 6u);
    EXPECT_EQ(last_error().detail, 0x80070005u);
    EXPECT_STREQ(last_error().text, "SetupDiGetClassDevs failed");
}

TEST(CoreHex, ParsesPairsSkippingBadOnes)
{
    EXPECT_EQ(hex_to_bytes("10FF00"), (std::vector<Byte>{0x10, 0xFF, 0x00}));
    EXPECT_EQ(hex_to_bytes("1Gff"), (std::vector<Byte>{0xFF}));
    EXPECT_EQ(hex_to_bytes("abc"), (std::vector<Byte>{0xAB}));
    EXPECT_TRUE(hex_to_bytes("").empty());
    EXPECT_TRUE(hex_to_bytes("F").empty());
}

TEST(CoreHex, FormatsUpperCase)
{
    EXPECT_EQ(bytes_to_hex({0x0A, 0xB0}), "0AB0");
    EXPECT_EQ(bytes_to_hex({}), "");
    EXPECT_EQ(to_hex_string(51451), "C8FB");
    EXPECT_EQ(to_hex_string(0), "0");
    EXPECT_EQ(to_hex_string(0xFFFFFFFFu), "FFFFFFFF");
    EXPECT_EQ(to_hex_string_width(0x12, 4), "0012");
    EXPECT_EQ(to_hex_string_width(0x12345, 2), "12345");
    // Round trip of every byte value.
    std::vector<Byte> all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<Byte>(i));
    EXPECT_EQ(hex_to_bytes(bytes_to_hex(all)), all);
}
