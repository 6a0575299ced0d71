// Scenario attributes of receivers and their paired devices.
#include "platform/devices/HidPort.h"
#include "devices/SimHidReceiver.h"
#include "devices/SimOta.h"

#include <sim/DeviceTree.h>
#include <sim/Scenario.h>

#include <gtest/gtest.h>

using namespace platform::sim;
using simtest::HidPort;

namespace {

class ReceiverScenario : public ::testing::Test {
protected:
    void SetUp() override { remove_all_dev_nodes(); }
    void TearDown() override { remove_all_dev_nodes(); }
};

std::string receiver(const std::string& attributes, const std::string& children = "")
{
    return "<scenario><device kind=\"receiver\" name=\"rx\" product=\"0xC510\" " + attributes + ">" + children +
           "</device></scenario>";
}

TEST_F(ReceiverScenario, AttributesShapeFirmwareAndBootloader)
{
    struct Row {
        const char* name;
        std::string attributes;
        std::uint8_t number;
        std::uint8_t updatedRelease;
        SimBootloaderFamily family;
        std::uint16_t bootloader;
        std::uint16_t pageSize;
    } rows[] = {
        {"defaults of C510", "", 0x12, 0x02, SimBootloaderFamily::PureHid, 0xAA10, 0x200},
        {"version, updated by one", "version=\"21.04.0100\"", 0x21, 0x05, SimBootloaderFamily::PureHid, 0xAA10, 0x200},
        {"updated version given", "version=\"12.01.0010\" updated-version=\"12.09.0011\"", 0x12, 0x09,
         SimBootloaderFamily::PureHid, 0xAA10, 0x200},
        {"family alone", "bootloader-family=\"wren-hid\"", 0x12, 0x02, SimBootloaderFamily::WrenHid, 0xAA20, 0x80},
        {"product alone", "bootloader-product=\"0xAA33\"", 0x12, 0x02, SimBootloaderFamily::FenMarl, 0xAA33, 0x80},
        {"page size and window", "page-size=\"0\" window-end=\"0xFFFF\"", 0x12, 0x02, SimBootloaderFamily::PureHid,
         0xAA10, 0},
        {"no bootloader", "bootloader-family=\"none\"", 0x12, 0x02, SimBootloaderFamily::None, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Scenario scenario = Scenario::from_text(receiver(row.attributes));
        auto rx = std::static_pointer_cast<SimHidReceiver>(scenario.device("rx")->model);
        const SimReceiverFirmware f = rx->firmware();
        EXPECT_EQ(rx->receiver().version().number, row.number);
        EXPECT_EQ(f.updated.release, row.updatedRelease);
        EXPECT_EQ(f.family, row.family);
        if (row.family == SimBootloaderFamily::None) {
            EXPECT_EQ(rx->bootloader(), nullptr);
            continue;
        }
        ASSERT_NE(rx->bootloader(), nullptr);
        EXPECT_EQ(rx->bootloader()->model().config().productId, row.bootloader);
        EXPECT_EQ(rx->bootloader()->collection()->layout().productId, row.bootloader);
        EXPECT_EQ(rx->bootloader()->model().config().pageSize, row.pageSize);
    }
}

TEST_F(ReceiverScenario, BadAttributesAreNamed)
{
    struct Row {
        const char* name;
        std::string xml;
        const char* mentions;
    } rows[] = {
        {"version", receiver("version=\"12.1\""), "version"},
        {"version part too big", receiver("version=\"123.01.0010\""), "version"},
        {"family", receiver("bootloader-family=\"other\""), "bootloader-family"},
        {"product of another family", receiver("bootloader-family=\"pure-hid\" bootloader-product=\"0xAA20\""),
         "bootloader-product"},
        {"window", receiver("window-start=\"0x100\" window-end=\"0x10\""), "window-end"},
        {"mode", receiver("mode=\"sleeping\""), "mode"},
        {"bootloader mode without bootloader", receiver("bootloader-family=\"none\" mode=\"bootloader\""), "mode"},
        {"fault", receiver("bootloader-fault=\"fire\""), "bootloader-fault"},
        {"fault count", receiver("bootloader-fault=\"no-reply\" fault-at=\"0\""), "fault-at"},
        {"fault without bootloader", receiver("bootloader-family=\"none\" silent-version=\"true\""), "bootloader"},
        {"paired protocol", receiver("", "<paired slot=\"1\" protocol=\"3.0\"/>"), "protocol"},
        {"paired fault", receiver("", "<paired slot=\"1\" ota-fault=\"boom\"/>"), "ota-fault"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            Scenario::from_text(row.xml);
            ADD_FAILURE() << "accepted";
        } catch (const ScenarioError& e) {
            EXPECT_NE(std::string(e.what()).find(row.mentions), std::string::npos) << e.what();
        }
        EXPECT_TRUE(children_of(0).empty());   // nothing left behind
    }
}

TEST_F(ReceiverScenario, ABootloaderModeReceiverIsPluggedAsItsBootloader)
{
    Scenario scenario = Scenario::from_text(receiver("mode=\"bootloader\" bootloader-family=\"fen-marl\""));
    const ScenarioDevice* d = scenario.device("rx");
    ASSERT_EQ(d->collections.size(), 1u);
    EXPECT_EQ(d->collections[0]->layout().usagePage, 0xFFB0);
    EXPECT_EQ(d->collections[0]->layout().productId, 0xAA30);
    scenario.plug();
    EXPECT_TRUE(is_present(d->node));
    EXPECT_TRUE(d->collections[0]->is_present());
}

TEST_F(ReceiverScenario, PairedAttributesReachTheModel)
{
    Scenario scenario = Scenario::from_text(
        receiver("", "<paired slot=\"1\" kind=\"mouse\" ota=\"true\" protocol=\"1.0\" slider=\"3\" "
                     "ota-fault=\"link-loss\" ota-fault-at=\"4\"/>"
                     "<paired slot=\"2\" kind=\"keyboard\" ota=\"true\"/>"));
    scenario.plug();
    auto rx = std::static_pointer_cast<SimHidReceiver>(scenario.device("rx")->model);
    HidPort shortPort(rx->hid().short_collection());
    HidPort longPort(rx->hid().long_collection());
    // The keyboard's own switch gave way to the over-the-air one.
    auto feature_index = [&](std::uint16_t id) {
        const Bytes r = longPort.ask({0x11, 0x02, 0x00, 0x02, static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)});
        return r[0] == 0x11 ? r[4] : -1;   // seven zeros when nothing answered
    };
    EXPECT_GT(feature_index(0x00C0), 0);
    EXPECT_EQ(feature_index(0x00C2), 0);
    // The mouse speaks protocol 1.0, with its battery and its slider.
    EXPECT_EQ(shortPort.ask({0x10, 0x01, 0x81, 0x0D, 0, 0, 0}), (Bytes{0x10, 0x01, 0x81, 0x0D, 0, 0, 80}));
    EXPECT_EQ(shortPort.ask({0x10, 0x01, 0x00, 0x12, 0, 0, 0})[2], 0x8F);
    ASSERT_TRUE(shortPort.write({0x10, 0xFF, 0x83, 0xB5, 0x30, 0, 0}));
    const Bytes page = longPort.read_until([](const Bytes& r) { return r[2] == 0x83; });
    ASSERT_EQ(page.size(), 20u);
    EXPECT_EQ(page[13], 3);
}

}  // namespace
