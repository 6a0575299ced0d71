// The device side of a firmware transfer: packet counts and outcomes from our image header,
// the faults a test switches on, and the scenario attributes of a device's firmware.
#include "devices/SimDfuSession.h"
#include "devices/SimHidReceiver.h"
#include "devices/SimProtocolDevice.h"

#include <sim/DeviceTree.h>
#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <gtest/gtest.h>

namespace platform::sim {
namespace {

Bytes header_packet(std::uint16_t product, std::uint32_t length, bool radio)
{
    quillon::dfu::Header h;
    h.productId = product;
    h.length = length;
    h.version = 0x1201;
    h.build = 0x0033;
    h.radioStack = radio;
    return quillon::dfu::encodeHeader(h);
}

// Status byte of the first reply, and of the first notification (-1 when none).
std::pair<int, int> statuses(const SimDfuAnswer& a)
{
    auto status = [](const std::vector<Bytes>& v) { return v.empty() ? -1 : (v[0].size() >= 5 ? v[0][4] : -2); };
    return {status(a.replies), status(a.notifications)};
}

// Sends the packets the session asks for after the start packet, until it answers anything
// but "next"; the statuses of each answer.
std::vector<std::pair<int, int>> run(SimDfuSession& s)
{
    std::vector<std::pair<int, int>> out;
    for (int guard = 0; guard < 64; ++guard) {
        const std::uint32_t n = s.next_packet();
        out.push_back(statuses(s.data(static_cast<std::uint8_t>((n + 1) & 3), Bytes(16, static_cast<std::uint8_t>(n)))));
        const auto& last = out.back();
        if (last.first != 1 && last.second != 1)
            break;
    }
    return out;
}

TEST(SimDfuSession, TheHeaderDecidesCountAndOutcome)
{
    struct Row {
        const char* name;
        Bytes first;
        int startStatus;
        int lastStatus;
        SimDfuRestart restart;
    };
    const Row rows[] = {
        {"application image of 64 bytes (5 packets)", header_packet(0x4001, 64, false), 1, 2,
         SimDfuRestart::Application},
        {"radio stack", header_packet(0x4001, 64, true), 1, 6, SimDfuRestart::Bootloader},
        {"header alone", header_packet(0x4001, 0, false), 2, -1, SimDfuRestart::Application},
        {"image for another product", header_packet(0x4002, 64, false), 4, -1, SimDfuRestart::Unchanged},
        {"no header: configured count of 4", Bytes(16, 0xAA), 1, 2, SimDfuRestart::Application},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimDfuSession s;
        s.set_product_id(0x4001);
        EXPECT_EQ(statuses(s.start(row.first)).first, row.startStatus);
        const auto answers = s.started() && row.startStatus == 1 ? run(s) : std::vector<std::pair<int, int>>{};
        EXPECT_EQ(answers.empty() ? -1 : answers.back().first, row.lastStatus);
        EXPECT_EQ(s.restart(), row.restart);
    }
}

TEST(SimDfuSession, Faults)
{
    struct Row {
        const char* name;
        SimDfuFaults faults;
        std::vector<std::pair<int, int>> answers;   // packets 1..4 of a 5-packet image
    };
    auto f = [](auto set) {
        SimDfuFaults x;
        set(x);
        return x;
    };
    const Row rows[] = {
        {"failure status at packet 2", f([](SimDfuFaults& x) { x.failAtPacket = 2; }), {{1, -1}, {4, -1}}},
        {"success as 5", f([](SimDfuFaults& x) { x.successAs5 = true; }), {{1, -1}, {1, -1}, {1, -1}, {5, -1}}},
        {"status 3, then silence", f([](SimDfuFaults& x) { x.busyThenSilentAt = 2; }), {{1, -1}, {3, -1}}},
        {"short report, status by notification", f([](SimDfuFaults& x) { x.shortReportAt = 3; }),
         {{1, -1}, {1, -1}, {-2, 1}, {2, -1}}},
        {"asks for packet 2 again at packet 3", f([](SimDfuFaults& x) { x.resendAt = 3; }),
         {{1, -1}, {1, -1}, {1, -1}, {1, -1}, {1, -1}, {2, -1}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimDfuSession s;
        s.set_faults(row.faults);
        ASSERT_EQ(statuses(s.start(header_packet(0, 64, false))).first, 1);
        EXPECT_EQ(run(s), row.answers);
        if (row.faults.busyThenSilentAt >= 0) {
            EXPECT_TRUE(s.data(static_cast<std::uint8_t>((s.next_packet() + 1) & 3), Bytes(16)).replies.empty());
        }
    }
}

TEST(SimScenarioFirmware, AttributesShapeTheModels)
{
    reset_machine();
    register_device_model_scenario_kinds();
    Scenario scenario = Scenario::from_text(R"(<scenario>
      <device kind="keyboard" name="kb" product="0x4004" switch="0x00C1" unit-id="0x01020304" battery="55">
        <firmware type="0" name="MPK" number="0x1100" build="0x0014"/>
        <firmware type="1" name="BOT" number="0x0100" build="0x0001"/>
      </device>
    </scenario>)");
    ASSERT_EQ(scenario.devices().size(), 1u);
    struct Bad {
        const char* name;
        const char* xml;
    };
    const Bad bad[] = {
        {"switch that is no switch", R"(<scenario><device kind="mouse" name="m" switch="0x00D0"/></scenario>)"},
        {"entity name of four characters",
         R"(<scenario><device kind="mouse" name="m"><firmware name="MPKX" number="1"/></device></scenario>)"},
        {"entity without number", R"(<scenario><device kind="mouse" name="m"><firmware name="MPK"/></device></scenario>)"},
        {"paired unit id too large",
         R"(<scenario><device kind="receiver" name="r" product="0xC520"><paired slot="1" unit-id="0x1FFFFFFFF"/></device></scenario>)"},
    };
    for (const Bad& row : bad) {
        SCOPED_TRACE(row.name);
        EXPECT_THROW(Scenario::from_text(row.xml), ScenarioError);
    }
}

TEST(SimScenarioFirmware, PairedDevicesTakeFirmwareSwitchUnitAndBattery)
{
    reset_machine();
    register_device_model_scenario_kinds();
    Scenario scenario = Scenario::from_text(R"(<scenario>
      <device kind="receiver" name="rx" product="0xC520">
        <paired slot="2" kind="keyboard" product="0x4001" unit-id="0x0A0B0C0D" battery="7" battery-critical="9" switch="0x00C1">
          <firmware type="0" name="MPK" number="0x1101" build="0x0020"/>
        </paired>
      </device>
    </scenario>)");
    auto receiver = std::static_pointer_cast<SimHidReceiver>(scenario.device("rx")->model);
    SimProtocolDevice* kb = receiver->paired(2);
    ASSERT_NE(kb, nullptr);
    const auto firmware = kb->firmware();
    ASSERT_EQ(firmware.size(), 1u);
    EXPECT_EQ(firmware[0].name, "MPK");
    EXPECT_EQ(firmware[0].number, 0x1101);
    EXPECT_EQ(firmware[0].build, 0x0020);
    EXPECT_TRUE(firmware[0].active);
}

} // namespace
} // namespace platform::sim
