// Scenario files: building devices, the echo kind, pluggable kinds and malformed input.
#include "SimTestSupport.h"

#include <devpkey.h>
#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <cfgmgr32.h>

#include <cstdio>
#include <fstream>

using namespace platform::sim;

namespace {

class ScenarioTest : public simtest::DeviceTreeTest {};

const char* kTwoDevices = R"(<?xml version="1.0"?>
<scenario>
  <!-- a keyboard-like device with two collections that echo -->
  <device kind="echo" name="kb" instance="USB\VID_7E51&amp;PID_C52B\5&amp;1&amp;0&amp;1" vendor="0x7E51" product="0xC52B"
          product-string="Sim Keyboard">
    <collection usage-page="0xFF00" usage="1" report-id="0x10" length="7"/>
    <collection usage-page="0xFF00" usage="2">
      <input id="0x11" length="20"/>
      <output id="0x11" length="20"/>
    </collection>
  </device>
  <device kind="hid" name="le" instance="BTHLE\Dev_1\1" enumerator="BTHLEDEVICE" plugged="false">
    <collection vendor="0x7E51" product="0xB001" usage-page="0xFF43" usage="0x0602" report-id="0x11" length="20"/>
  </device>
</scenario>)";

TEST_F(ScenarioTest, BuildsAndPlugsTheDescribedDevices)
{
    Scenario scenario = Scenario::from_text(kTwoDevices);
    ASSERT_EQ(scenario.devices().size(), 2u);
    const ScenarioDevice* kb = scenario.device("kb");
    ASSERT_NE(kb, nullptr);
    ASSERT_EQ(kb->collections.size(), 2u);
    EXPECT_EQ(kb->collections[0]->layout().productString, "Sim Keyboard");
    EXPECT_EQ(kb->collections[1]->output_length(), 20);
    EXPECT_FALSE(kb->collections[0]->is_present());

    scenario.plug();
    EXPECT_TRUE(kb->collections[0]->is_present());
    EXPECT_FALSE(scenario.device("le")->collections[0]->is_present());

    // The collection hangs below the device node, whose enumerator is its own.
    DEVINST parent = 0;
    ASSERT_EQ(CM_Get_Parent(&parent, kb->collections[0]->dev_inst(), 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(parent, kb->node);
    DEVPROPTYPE type = 0;
    ULONG size = 0;
    EXPECT_EQ(CM_Get_DevNode_PropertyW(scenario.device("le")->node, &DEVPKEY_Device_EnumeratorName, &type, nullptr,
                                       &size, 0),
              static_cast<CONFIGRET>(CR_BUFFER_SMALL));
    EXPECT_EQ(size, sizeof(u"BTHLEDEVICE"));

    // The echo kind answers a write with the same report.
    const std::u16string path = simtest::wide(kb->collections[0]->path());
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    OVERLAPPED o{};
    o.hEvent = event;
    const Bytes ping = {0x10, 0xFF, 0x00, 0x1A, 0, 0, 0x5A};
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, ping.data(), 7, &done, &o));
    Bytes reply(7);
    ASSERT_TRUE(ReadFile(file, reply.data(), 7, &done, &o));
    EXPECT_EQ(reply, ping);
    CloseHandle(event);
    CloseHandle(file);
}

TEST_F(ScenarioTest, DevicesLeaveTheTreeWithTheScenario)
{
    DevInst node = 0;
    {
        Scenario scenario = Scenario::from_text(kTwoDevices);
        node = scenario.device("kb")->node;
        EXPECT_EQ(find_dev_node("usb\\vid_7e51&pid_c52b\\5&1&0&1"), node);
    }
    EXPECT_EQ(find_dev_node("USB\\VID_7E51&PID_C52B\\5&1&0&1"), 0u);
}

TEST_F(ScenarioTest, KindsArePluggable)
{
    int built = 0;
    register_device_kind("test-kind", [&](const ScenarioElement& device) {
        ++built;
        ScenarioDevice d;
        d.node = make_scenario_devnode(device);
        for (const auto& c : device.children("collection"))
            d.collections.push_back(create_hid_collection(scenario_collection_layout(c, device, d.node)));
        return d;
    });
    const auto kinds = device_kinds();
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), "test-kind"), kinds.end());
    Scenario scenario = Scenario::from_text(
        R"(<scenario><device kind="test-kind" vendor="0x7E51" product="0x4001">)"
        R"(<collection usage-page="0xFF00" usage="2" report-id="0x11" length="20"/></device></scenario>)");
    EXPECT_EQ(built, 1);
    EXPECT_EQ(scenario.devices()[0].kind, "test-kind");
    EXPECT_EQ(scenario.devices()[0].collections[0]->layout().vendorId, 0x7E51);
}

TEST_F(ScenarioTest, MalformedScenariosFailClearlyAndLeaveNothingBehind)
{
    struct Case {
        const char* xml;
        const char* mention;
    };
    const Case cases[] = {
        {"<scenario><device kind=\"hid\">", "malformed XML"},
        {"<other/>", "<scenario>"},
        {"", "<scenario>"},
        {"<scenario><device/></scenario>", "\"kind\""},
        {"<scenario><device kind=\"toaster\"/></scenario>", "unknown device kind \"toaster\""},
        {"<scenario><widget/></scenario>", "is not a <device> or a <registry>"},
        {"<scenario><device kind=\"hid\"/></scenario>", "no <collection>"},
        {"<scenario><device kind=\"hid\" name=\"x\"><collection usage-page=\"0x1FFFF\" usage=\"1\" length=\"7\"/>"
         "</device></scenario>",
         "device \"x\" > collection 1: attribute \"usage-page\""},
        {"<scenario><device kind=\"hid\"><collection usage-page=\"0xFF00\" usage=\"one\" length=\"7\"/>"
         "</device></scenario>",
         "\"one\" is not a number"},
        {"<scenario><device kind=\"hid\"><collection usage-page=\"0xFF00\" usage=\"1\"/></device></scenario>",
         "has no reports"},
        {"<scenario><device kind=\"hid\"><collection usage-page=\"0xFF00\" usage=\"1\"><input length=\"0\"/>"
         "</collection></device></scenario>",
         "at least 1"},
        // The second device fails after the first was built: the first goes again.
        {"<scenario><device kind=\"hid\" instance=\"USB\\A\\1\"><collection usage-page=\"1\" usage=\"1\" length=\"2\"/>"
         "</device><device kind=\"hid\" instance=\"usb\\a\\1\"><collection usage-page=\"1\" usage=\"1\" length=\"2\"/>"
         "</device></scenario>",
         "already"},
    };
    for (const auto& c : cases) {
        try {
            Scenario::from_text(c.xml);
            ADD_FAILURE() << "accepted: " << c.xml;
        } catch (const ScenarioError& e) {
            EXPECT_NE(std::string(e.what()).find(c.mention), std::string::npos) << e.what();
        }
        EXPECT_TRUE(children_of(0).empty()) << c.xml;
    }
    EXPECT_THROW(Scenario::from_file("/nonexistent/scenario.xml"), ScenarioError);
    try {
        Scenario::from_file(::testing::TempDir());
        ADD_FAILURE() << "a folder was taken for a scenario";
    } catch (const ScenarioError& e) {
        EXPECT_NE(std::string(e.what()).find("is a folder"), std::string::npos) << e.what();
    }
}

TEST_F(ScenarioTest, RegistryValuesAreSetWhenPlugged)
{
    registry_clear();
    Scenario scenario = Scenario::from_text(R"(<scenario>
  <registry key="HKEY_LOCAL_MACHINE\SOFTWARE\TARNWICK\RAVELIN" value="LoggingLevel" dword="0x4"/>
  <registry key="HKEY_CURRENT_USER\SOFTWARE\Test" value="Count" dword="12"/>
</scenario>)");
    DWORD level = 0;
    EXPECT_FALSE(registry_get_dword(HKEY_LOCAL_MACHINE, "SOFTWARE\\TARNWICK\\RAVELIN", "LoggingLevel", level));
    scenario.plug();
    ASSERT_TRUE(registry_get_dword(HKEY_LOCAL_MACHINE, "SOFTWARE\\TARNWICK\\RAVELIN", "LoggingLevel", level));
    EXPECT_EQ(level, 0x4u);
    DWORD count = 0;
    ASSERT_TRUE(registry_get_dword(HKEY_CURRENT_USER, "SOFTWARE\\Test", "Count", count));
    EXPECT_EQ(count, 12u);
    registry_clear();

    struct Row {
        const char* name;
        const char* element;
    };
    const Row refused[] = {
        {"no root", R"(<registry key="SOFTWARE\X" value="V" dword="1"/>)"},
        {"root alone", R"(<registry key="HKEY_LOCAL_MACHINE\" value="V" dword="1"/>)"},
        {"no value name", R"(<registry key="HKEY_LOCAL_MACHINE\X" dword="1"/>)"},
        {"no number", R"(<registry key="HKEY_LOCAL_MACHINE\X" value="V"/>)"},
        {"too large", R"(<registry key="HKEY_LOCAL_MACHINE\X" value="V" dword="0x100000000"/>)"},
    };
    for (const Row& r : refused) {
        SCOPED_TRACE(r.name);
        EXPECT_THROW(Scenario::from_text(std::string("<scenario>") + r.element + "</scenario>"), ScenarioError);
    }
}

TEST_F(ScenarioTest, LoadsFromAFile)
{
    const std::string path = ::testing::TempDir() + "scenario-test.xml";
    {
        std::ofstream out(path);
        out << kTwoDevices;
    }
    Scenario scenario = Scenario::from_file(path);
    EXPECT_EQ(scenario.devices().size(), 2u);
    std::remove(path.c_str());
}

}  // namespace
