// Scenario kinds of the simulated Bluetooth stack:
//
//   <device kind="bt-radio" name="r1" access-denied="false" on="true"/>
//   <device kind="ble-keyboard" name="kb" radio="r1" address="0xA0B1C2D3E4F5" product="0xB010"
//           product-string="Sim BLE Keyboard" serial="SN0001" form="characteristic|direct|both"
//           pnp-size="7" bootloader-address="0" connected="true" win32-gatt="true"/>
//           unit-id="0x1A2B3C4D" battery="80" battery-critical="10" latency-us="0"
//           switch="0x00C2" switch-delay-ms="20">
//     <firmware type="0" name="MPK" number="0x1101" build="0x0020"/>  (as for "keyboard")
//   </device>
//   <device kind="bt-keyboard" name="ckb" radio="r1" address="0x0000AABBCCDD" product="0xB001"/>
//
// "bt-keyboard" and "bt-mouse" are classic devices, "ble-keyboard" and "ble-mouse" LE ones. A
// device names a radio built before it; it is paired with it and, unless connected="false",
// connected through it. Its bootloader takes the images of the wired product that the product
// ids pair with its Bluetooth id (quillon/ProductIds.h), and runs at bootloader-address if given.

#include "devices/SimBluetoothDevice.h"
#include "devices/SimScenarioFirmware.h"

#include <sim/Scenario.h>

#include <quillon/ProductIds.h>

#include <map>
#include <memory>
#include <mutex>

namespace platform::sim {

namespace {

std::mutex& radios_mutex()
{
    static std::mutex& m = *new std::mutex;
    return m;
}

std::map<std::string, DevInst>& radios_by_name()
{
    static auto& m = *new std::map<std::string, DevInst>;
    return m;
}

ScenarioDevice build_radio(const ScenarioElement& element)
{
    const std::string name = element.required("name");
    const DevInst radio = add_radio(name);
    set_radio_access_denied(radio, element.flag("access-denied", false));
    set_radio_on(radio, element.flag("on", true));
    {
        std::lock_guard<std::mutex> lock(radios_mutex());
        radios_by_name()[name] = radio;
    }
    ScenarioDevice result;
    result.kind = "bt-radio";
    result.node = radio;
    return result;
}

ScenarioDevice build_device(const std::string& kind, const ScenarioElement& element)
{
    const bool mouse = kind.find("mouse") != std::string::npos;
    const bool le = kind.rfind("ble-", 0) == 0;
    SimProtocolConfig protocol = mouse ? sim_mouse_config() : sim_keyboard_config();
    protocol.product_id = static_cast<std::uint16_t>(
        element.number("product", (mouse ? quillon::ids::kMouseA : quillon::ids::kKeyboardA).bluetoothProductId, 0xFFFF));
    protocol.name = element.text("product-string", protocol.name);
    protocol.image_product_id = quillon::ids::imageProductIdOf(protocol.product_id);
    apply_scenario_unit(element, protocol);
    protocol.latency = std::chrono::microseconds(element.number("latency-us", 0, 10000000));
    apply_scenario_firmware(element, protocol);
    SimBluetoothConfig config;
    config.lowEnergy = le;
    config.address = element.number("address", config.address, 0xFFFFFFFFFFFFul);
    config.serial = element.text("serial", config.serial);
    const std::string form = element.text("form", "characteristic");
    if (form == "direct")
        config.form = SimBluetoothConfig::Form::DirectIndex;
    else if (form == "both")
        config.form = SimBluetoothConfig::Form::BothServices;
    else if (form != "characteristic")
        element.fail("form must be characteristic, direct or both");
    config.pnpIdSize = element.number("pnp-size", 7, 7);
    config.bootloaderAddress = element.number("bootloader-address", 0, 0xFFFFFFFFFFFFul);
    config.win32GattInterface = element.flag("win32-gatt", true);
    DevInst radio = 0;
    if (element.has("radio")) {
        std::lock_guard<std::mutex> lock(radios_mutex());
        auto it = radios_by_name().find(element.text("radio"));
        if (it == radios_by_name().end())
            element.fail("radio '" + element.text("radio") + "' is not built before this device");
        radio = it->second;
    }
    auto device = std::make_shared<SimBluetoothDevice>(std::move(protocol), std::move(config));
    if (radio) {
        device->pair(radio);
        if (element.flag("connected", true))
            device->connect(radio);
    }
    ScenarioDevice result;
    result.kind = kind;
    result.model = device;
    return result;
}

}  // namespace

void register_bluetooth_scenario_kinds()
{
    static std::once_flag once;
    std::call_once(once, [] {
        register_device_kind("bt-radio", &build_radio);
        for (const char* kind : {"bt-keyboard", "bt-mouse", "ble-keyboard", "ble-mouse"})
            register_device_kind(kind, [kind = std::string(kind)](const ScenarioElement& e) { return build_device(kind, e); });
    });
}

namespace {
const bool g_registered = (register_bluetooth_scenario_kinds(), true);
}  // namespace

}  // namespace platform::sim

// Keeps these kinds in every program that links the models (see platform/devices/CMakeLists.txt).
extern "C" void quillon_sim_bluetooth_kinds()
{
    platform::sim::register_bluetooth_scenario_kinds();
}
