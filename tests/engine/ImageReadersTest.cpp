// Image readers and the transfer arithmetic that follows from an image.
#include "DFULite1.h"
#include "DFUPureHid.h"
#include "ImageFiles.h"

#include <gtest/gtest.h>

using namespace qv;
using enginetest::hex_record;
using enginetest::hex_text;
using enginetest::make_image;

namespace {

int parse(const std::string& text, std::vector<ImageRecord>& out, std::uint32_t start = 0, std::uint32_t end = 0xFFFF)
{
    return CDFUPureHid::ParseHex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), start, end, out);
}

std::string with_eof(const std::string& records)
{
    return records + ":00000001FF\r\n";
}

TEST(ParseHexTest, Records)
{
    const std::vector<std::uint8_t> d16(16, 0xAB), d32(32, 0xCD), d2 = {1, 2};
    struct Row {
        const char* name;
        std::string text;
        int result;
        std::vector<std::pair<std::uint16_t, std::uint8_t>> records;  // address, length
    };
    std::string badSum = hex_record(0, 0x0000, d16);
    badSum[badSum.size() - 3] ^= 1;
    const Row rows[] = {
        {"one record", with_eof(hex_record(0, 0x0010, d16)), 0, {{0x0010, 16}}},
        {"long record split in blocks of 16", with_eof(hex_record(0, 0x0100, d32)), 0, {{0x0100, 16}, {0x0110, 16}}},
        {"short record kept as is", with_eof(hex_record(0, 0x0200, d2)), 0, {{0x0200, 2}}},
        {"text before and between records", "junk\r\n" + hex_record(0, 0, d2) + "x\r\n" + with_eof(hex_record(0, 2, d2)),
         0, {{0, 2}, {2, 2}}},
        {"scan ends at the end record", hex_record(0, 0, d2) + ":00000001FF\r\n" + hex_record(0, 0x10, d2), 0, {{0, 2}}},
        {"extended address records are skipped, not data",
         with_eof(hex_record(0x04, 0, {0x00, 0x00}) + hex_record(0x05, 0, {0, 0, 0, 0}) + hex_record(0, 0x40, d2)), 0,
         {{0x40, 2}}},
        {"data above 64 KiB is not ours",
         with_eof(hex_record(0, 0, d2) + hex_record(0x04, 0, {0x00, 0x01}) + hex_record(0, 0x40, d2)), 0, {{0, 2}}},
        {"segment address moves data out", with_eof(hex_record(0x02, 0, {0x10, 0x00}) + hex_record(0, 0, d2)), 11, {}},
        {"wrong checksum", with_eof(badSum), 11, {}},
        {"truncated record", ":1000000001020304", 11, {}},
        {"truncated checksum", ":0100000001", 11, {}},
        {"not hexadecimal", ":02000000GG00FE\r\n", 11, {}},
        {"unknown record type", with_eof(hex_record(0x07, 0, d2)), 11, {}},
        {"nothing but the end", ":00000001FF\r\n", 11, {}},
        {"empty", "", 11, {}},
        {"last byte past 0xFFFF", with_eof(hex_record(0, 0xFFF8, d16)), 11, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<ImageRecord> out;
        EXPECT_EQ(parse(row.text, out), row.result);
        ASSERT_EQ(out.size(), row.records.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].address, row.records[i].first);
            EXPECT_EQ(out[i].length, row.records[i].second);
        }
    }
}

TEST(ParseHexTest, KeepsOnlyRecordsInsideTheWindow)
{
    const auto text = hex_text(make_image(0x80));  // 8 records from 0x00 to 0x7F
    std::vector<ImageRecord> out;
    ASSERT_EQ(parse(text, out, 0x20, 0x5F), 0);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out.front().address, 0x20);
    EXPECT_EQ(out.back().address, 0x50);
    // A record that ends one byte beyond the window is dropped.
    ASSERT_EQ(parse(text, out, 0x00, 0x5E), 0);
    EXPECT_EQ(out.back().address, 0x40);
    EXPECT_EQ(parse(text, out, 0x100, 0x1FF), 11);
}

TEST(ParseHexTest, DataSurvivesTheRoundTrip)
{
    const auto image = make_image(1000);
    std::vector<ImageRecord> out;
    ASSERT_EQ(parse(hex_text(image, 32), out), 0);
    std::vector<std::uint8_t> back;
    for (const auto& r : out) {
        ASSERT_EQ(r.address, back.size());
        back.insert(back.end(), r.data, r.data + r.length);
    }
    EXPECT_EQ(back, image);
}

TEST(ParseBinTest, Blocks)
{
    struct Row {
        const char* name;
        std::size_t size;
        int result;
        std::size_t records;
    };
    const Row rows[] = {
        {"too short", 15, 11, 0},          {"one block", 16, 0, 1},
        {"partial last block dropped", 40, 0, 2}, {"signature", 256, 0, 16},
        {"at most 17 blocks", 272, 0, 17}, {"bytes beyond 0x10F dropped", 4096, 0, 17},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto bytes = make_image(row.size);
        std::vector<ImageRecord> out;
        EXPECT_EQ(CDFUPureHid::ParseBin(bytes.data(), bytes.size(), out), row.result);
        ASSERT_EQ(out.size(), row.records);
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].address, i * 16);
            EXPECT_EQ(out[i].data[0], bytes[i * 16]);
        }
    }
}

TEST(ProgressTest, StepsAndPercent)
{
    EXPECT_EQ(Progress::step_for(250, 0), 3u) << "250 records, no signature";
    EXPECT_EQ(Progress::step_for(20, 0), 1u) << "never 0";
    EXPECT_EQ(Progress::step_for(16, 99), 16u);
    EXPECT_EQ(Progress::step_for(16, 100), 16u) << "100 - percent never 0";
    Progress p;
    p.set_step(0);
    for (int i = 0; i < 250; ++i)
        p.advance();
    EXPECT_EQ(p.percent, 100u) << "percent stops at 100";
    EXPECT_EQ(p.sent, 250u);
}

TEST(OverTheAirTest, ChunksAndStatus)
{
    struct Row {
        const char* name;
        std::size_t size;
        std::size_t chunks;
        std::size_t padding;  // 0xFF bytes in the last chunk
    };
    const Row rows[] = {{"exactly 15 bytes", 15, 1, 0}, {"31 bytes", 31, 3, 14}, {"one byte", 1, 1, 14}, {"30 bytes", 30, 2, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto out = CDFULite1::chunks(make_image(row.size));
        ASSERT_EQ(out.size(), row.chunks);
        std::size_t pad = 0;
        for (std::size_t i = out.back().size(); i-- > 0 && out.back()[i] == 0xFF;)
            ++pad;
        EXPECT_GE(pad, row.padding);
        for (const auto& c : out)
            EXPECT_EQ(c.size(), 15u);
    }
    EXPECT_EQ(CDFULite1::status_to_result(0x00), CDFULite1::kAck);
    EXPECT_EQ(CDFULite1::status_to_result(0x04), CDFULite1::kChecked);
    EXPECT_EQ(CDFULite1::status_to_result(0x06), CDFULite1::kRestart);
    EXPECT_EQ(CDFULite1::status_to_result(0x0E), CDFULite1::kError);
}

}  // namespace
