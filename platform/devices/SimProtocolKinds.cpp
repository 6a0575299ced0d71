// Scenario kinds "keyboard" and "mouse": a simulated protocol 2.0 device behind the two
// protocol HID collections of one USB device node.
//
//   <device kind="keyboard" name="kb" product="0x4001" product-string="Sim Keyboard"
//           unit-id="0x1A2B3C4D" battery="80" battery-critical="10" latency-us="0"/>

#include "devices/SimHidDevice.h"
#include "devices/SimProtocolDevice.h"
#include "devices/SimScenarioFirmware.h"

#include <sim/Scenario.h>

#include <memory>
#include <mutex>

namespace platform::sim {

namespace {

// Keeps model and collections together; the model's power cycles replug the collections.
struct ProtocolScenarioDevice {
    ProtocolScenarioDevice(SimProtocolConfig config, DevInst node)
    {
        const std::uint16_t pid = config.product_id;
        const std::string name = config.name;
        model = std::make_unique<SimProtocolDevice>(std::move(config));
        SimProtocolDevice* m = model.get();
        hid = std::make_unique<SimHidDevice>(pid, name, [m](const Bytes& report) { m->write(report); }, node);
        SimHidDevice* h = hid.get();
        model->set_sink([h](const Bytes& report) { h->send_input(report); });
        model->set_presence_handler([h](bool present) {
            if (present)
                h->plug();
            else
                h->unplug();
        });
    }
    ~ProtocolScenarioDevice()
    {
        model->set_sink(nullptr);
        model->set_presence_handler(nullptr);
        hid.reset();
        model.reset();
    }
    std::unique_ptr<SimProtocolDevice> model;
    std::unique_ptr<SimHidDevice> hid;
};

ScenarioDevice build(const std::string& kind, const ScenarioElement& device)
{
    SimProtocolConfig config = kind == "mouse" ? sim_mouse_config() : sim_keyboard_config();
    config.product_id = static_cast<std::uint16_t>(device.number("product", config.product_id, 0xFFFF));
    config.name = device.text("product-string", config.name);
    config.unit_id = static_cast<std::uint32_t>(device.number("unit-id", config.unit_id, 0xFFFFFFFFul));
    config.battery_level = static_cast<std::uint8_t>(device.number("battery", config.battery_level, 0xFF));
    config.battery_critical = static_cast<std::uint8_t>(device.number("battery-critical", config.battery_critical, 0xFF));
    config.latency = std::chrono::microseconds(device.number("latency-us", 0, 10000000));
    apply_scenario_firmware(device, config);
    const DevInst node = make_scenario_devnode(device);
    auto holder = std::make_shared<ProtocolScenarioDevice>(std::move(config), node);
    ScenarioDevice result;
    result.kind = kind;
    result.node = node;
    result.collections = holder->hid->collections();
    result.model = holder;
    return result;
}

} // namespace

void register_protocol_scenario_kinds()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char* kind : {"keyboard", "mouse"})
            register_device_kind(kind, [kind = std::string(kind)](const ScenarioElement& device) { return build(kind, device); });
    });
}

namespace {
// Known to every program that links the protocol device models.
const bool g_registered = (register_protocol_scenario_kinds(), true);
} // namespace

} // namespace platform::sim
