// The engine adapter over a scripted engine: version texts, entries, the information block,
// and the temporary files of a receiver update.
#include "AppTestSupport.h"
#include "cQVDevice.h"

#include <sim/FileFaults.h>
#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <cstring>

namespace app::test {
namespace {

std::string narrow(const std::u16string& s)
{
    std::string out;
    for (char16_t c : s)
        out += static_cast<char>(c);
    return out;
}

TEST(ParseVersionText, Table)
{
    struct Row {
        const char* name;
        std::u16string text;
        bool ok;
        const char* prefix;
        std::uint16_t version;
        std::uint16_t build;
    };
    const Row rows[] = {
        {"firmware, four pieces", u"MPR_012_001_0000b", true, "MPR", 0x1201, 0x000b},
        {"bootloader, three pieces", u"BL_012_034", true, "BL", 0x12, 0x34},
        {"prefix cut to three characters", u"RQRX_024_010_00033", true, "RQR", 0x2410, 0x33},
        {"two underscores give an empty piece", u"MPR__001_00002", true, "MPR", 0x0001, 0x0002},
        {"a final underscore gives no piece", u"BL_012_034_", true, "BL", 0x12, 0x34},
        {"a piece that is not hexadecimal reads 0", u"MPR_0zz_001_00002", true, "MPR", 0x0001, 0x0002},
        {"a piece too long for a number reads 0", u"MPR_123456789_001_00002", true, "MPR", 0x0001, 0x0002},
        {"only the low byte of each unit counts", std::u16string{0x4142, u'_', u'1', u'_', u'2'}, true, "B", 0x1,
         0x2},
        {"two pieces", u"BL_012", false, "", 0, 0},
        {"five pieces", u"A_1_2_3_4", false, "", 0, 0},
        {"empty", u"", false, "", 0, 0},
        {"no underscore", u"UNKNOWN", false, "", 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DFU_DEVICE_ENTRY entry{};
        std::memset(&entry, 0, sizeof entry);
        entry.reserved0 = 0x11111111;
        entry.reserved1 = 0x22222222;
        EXPECT_EQ(cQVDevice::parseVersionText(row.text.c_str(), &entry), row.ok);
        EXPECT_STREQ(entry.prefix, row.prefix);
        EXPECT_EQ(entry.version, row.version);
        EXPECT_EQ(entry.build, row.build);
        EXPECT_EQ(entry.reserved0, 0x11111111u);
        EXPECT_EQ(entry.reserved1, 0x22222222u);
    }
}

TEST(ParseVersionText, NeverReadsPastTheEngineField)
{
    QV_DEVICE_INFO record{};
    for (auto& c : record.FW)
        c = u'1';   // no terminator in the field
    DFU_DEVICE_ENTRY entry{};
    EXPECT_FALSE(cQVDevice::parseVersionText(record.FW, &entry));
}

class EngineAdapter : public ::testing::Test {
protected:
    void SetUp() override { platform::sim::reset_machine(); }
    std::shared_ptr<EngineDouble> engine = std::make_shared<EngineDouble>();
};

TEST_F(EngineAdapter, InformationBlockFromTheEngineRecord)
{
    struct Row {
        const char* name;
        bool hasRecord;
        std::uint32_t devType;
        const char* fw;
        std::uint8_t inDfu;
        const char* version;
    };
    const Row rows[] = {
        {"receiver", true, 0, "MPR_012_001_0000b", 0, "12.1.b"},
        {"bootloader", true, 4, "BOT_001_002_00003", 1, "1.2.3"},
        {"unreadable firmware text", true, 0, "garbage", 0, ""},
        {"no record", false, 0, "", 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.hasRecord)
            engine->set_record(-5, engine_record(row.devType, 0xC520, row.fw, "BL_001_005"));
        else
            engine->drop_record(-5);
        cQVDevice device(-5, engine);
        DFU_DEVICE_INFO info;
        std::memset(&info, 0xAB, sizeof info);
        EXPECT_EQ(device.getInfo(&info), DFU_OK);
        EXPECT_EQ(info.connectionKind, row.hasRecord ? 4u : 0u);
        EXPECT_EQ(info.productId, row.hasRecord ? 0xC520u : 0u);
        EXPECT_EQ(info.entityCount, row.hasRecord ? 2u : 0u);
        EXPECT_EQ(info.online, row.hasRecord ? 1 : 0);
        EXPECT_EQ(info.inDfu, row.inDfu);
        EXPECT_STREQ(info.version, row.version);
        EXPECT_STREQ(info.name, "");
        EXPECT_EQ(info.unitId, 0u);
        EXPECT_EQ(info.reserved, 0u);
    }
}

TEST_F(EngineAdapter, EntriesAreReadAfresh)
{
    engine->set_record(-5, engine_record(0, 0xC520, "MPR_012_001_0000b", "BL_012_034"));
    cQVDevice device(-5, engine);
    struct Row {
        int index;
        bool hasRecord;
        int result;
        const char* prefix;
    };
    const Row rows[] = {
        {0, true, DFU_OK, "MPR"},          {1, true, DFU_OK, "BL"},
        {2, true, DFU_ERR_INVALID_PARAM, ""}, {-1, true, DFU_ERR_INVALID_PARAM, ""},
        {0, false, DFU_ERR_NO_ENTRY, ""},  {2, false, DFU_ERR_NO_ENTRY, ""},
        {-1, false, DFU_ERR_NO_ENTRY, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("index " + std::to_string(row.index) + (row.hasRecord ? " with" : " without") + " record");
        if (row.hasRecord)
            engine->set_record(-5, engine_record(0, 0xC520, "MPR_012_001_0000b", "BL_012_034"));
        else
            engine->drop_record(-5);
        DFU_DEVICE_ENTRY entry{};
        EXPECT_EQ(device.getEntry(row.index, &entry), row.result);
        EXPECT_STREQ(entry.prefix, row.prefix);
    }
    // The bootloader text changed after construction: the entry shows the new one.
    engine->set_record(-5, engine_record(4, 0xAA20, "MPR_012_001_0000b", "BL_013_001"));
    DFU_DEVICE_ENTRY entry{};
    ASSERT_EQ(device.getEntry(1, &entry), DFU_OK);
    EXPECT_EQ(entry.version, 0x13);
    EXPECT_EQ(entry.build, 0x01);
    EXPECT_EQ(device.getEntry(1, nullptr), DFU_ERR_INVALID_PARAM);
}

TEST_F(EngineAdapter, ReceiverUpdateHandsTheEngineTemporaryFiles)
{
    engine->set_record(-5, engine_record(0, 0xC520, "MPR_012_001_0000b", "BL_012_034"));
    cQVDevice device(-5, engine);
    const std::string image = ":020000040000FA\n:00000001FF\n";
    const std::string signature(256, '\x5A');

    ASSERT_EQ(device.startReceiverUpdate(image.data(), static_cast<int>(image.size()), signature.data(), 256), DFU_OK);
    ASSERT_EQ(device.startReceiverUpdate(image.data(), static_cast<int>(image.size()), signature.data(), 0), DFU_OK);
    const auto starts = engine->starts();
    ASSERT_EQ(starts.size(), 2u);
    for (const auto& start : starts) {
        EXPECT_EQ(start.handle, -5);
        EXPECT_EQ(start.silent, 1u);
        EXPECT_EQ(start.forceOldest, 0);
        EXPECT_EQ(start.forceCrash, 0);
        std::string written;
        ASSERT_TRUE(platform::sim::read_file(narrow(start.firmwareFile), written));
        EXPECT_EQ(written, image);
    }
    ASSERT_TRUE(starts[0].hasSignature);
    std::string writtenSignature;
    ASSERT_TRUE(platform::sim::read_file(narrow(starts[0].signatureFile), writtenSignature));
    EXPECT_EQ(writtenSignature, signature);
    EXPECT_NE(starts[0].firmwareFile, starts[0].signatureFile);
    // A signature of length 0 is no signature.
    EXPECT_FALSE(starts[1].hasSignature);
}

TEST_F(EngineAdapter, FailuresBeforeTheEngineLeaveItUntouched)
{
    engine->set_record(-5, engine_record(0, 0xC520, "MPR_012_001_0000b", "BL_012_034"));
    cQVDevice device(-5, engine);
    const std::string image(100, 'h');
    const std::string signature(256, 's');
    struct Row {
        const char* name;
        std::function<void()> fault;
        const char* image;
        int length;
        int result;
    };
    const Row rows[] = {
        {"no image", {}, nullptr, 100, DFU_ERR_INVALID_PARAM},
        {"empty image", {}, image.data(), 0, DFU_ERR_INVALID_PARAM},
        {"negative length", {}, image.data(), -4, DFU_ERR_INVALID_PARAM},
        {"no temporary folder", [] { platform::sim::set_temp_path_fails(true); }, image.data(), 100, DFU_ERR_FAILED},
        {"no temporary name", [] { platform::sim::set_temp_file_name_fails(true); }, image.data(), 100,
         DFU_ERR_FAILED},
        {"write fails", [] { platform::sim::set_file_writes_fail(true); }, image.data(), 100, DFU_ERR_FAILED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        platform::sim::reset_machine();
        if (row.fault)
            row.fault();
        EXPECT_EQ(device.startReceiverUpdate(row.image, row.length, signature.data(), 256), row.result);
        EXPECT_TRUE(engine->starts().empty());
        EXPECT_FALSE(device.updateRunning());
    }
    platform::sim::reset_machine();
    engine->set_start_result(14);
    EXPECT_EQ(device.startReceiverUpdate(image.data(), 100, nullptr, 0), DFU_ERR_FAILED);
    EXPECT_FALSE(device.updateRunning());
    EXPECT_EQ(device.startUpdate(image.data(), 100, nullptr, 0, false), DFU_ERR_NOT_SUPPORTED);
}

} // namespace
} // namespace app::test
