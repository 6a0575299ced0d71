// Scenario kinds "keyboard" and "mouse": a simulated protocol 2.0 device behind the two
// protocol HID collections of one USB device node.
//
//   <device kind="keyboard" name="kb" product="0x4001" product-string="Sim Keyboard"
//           unit-id="0x1A2B3C4D" battery="80" battery-critical="10" latency-us="0"
//           very-long="false">                     (true: 64-byte reports, usage page 0xFF43)
//     <feature id="0x1B04" version="0" type="0">     (appended to the feature table)
//       <answer function="1" bytes="00 10 00 20 01"/> (a fixed reply payload, hex)
//       <answer function="2" params="00 01" bytes=".."/> (the reply to parameters beginning so;
//                                                      up to 60 bytes on a very-long device)
//     </feature>
//   </device>

#include "devices/SimHidDevice.h"
#include "devices/SimProtocolDevice.h"
#include "devices/SimScenarioFirmware.h"

#include <sim/Scenario.h>

#include <map>
#include <memory>
#include <string>
#include <mutex>

namespace platform::sim {

namespace {

// Keeps model and collections together; the model's power cycles replug the collections.
struct ProtocolScenarioDevice {
    ProtocolScenarioDevice(SimProtocolConfig config, DevInst node)
    {
        const std::uint16_t pid = config.product_id;
        const std::string name = config.name;
        const bool veryLong = config.very_long_reports;
        model = std::make_unique<SimProtocolDevice>(std::move(config));
        SimProtocolDevice* m = model.get();
        hid = std::make_unique<SimHidDevice>(
            pid, name, [m](const Bytes& report) { m->write(report); }, node, 0x7E51, veryLong);
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

// "0F A0 01" or "0x0F,0xA0": at most `limit` bytes.
Bytes hex_bytes(const ScenarioElement& element, const std::string& attribute, std::size_t limit = 16)
{
    const std::string text = element.text(attribute);
    Bytes bytes;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == ',' || text[i] == '\t') {
            ++i;
            continue;
        }
        std::size_t end = text.find_first_of(" ,\t", i);
        std::string token = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
        i = end == std::string::npos ? text.size() : end;
        if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
            token = token.substr(2);
        if (token.empty() || token.size() > 2 || token.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            element.fail("'" + attribute + "' holds \"" + token + "\", not a hexadecimal byte");
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
    }
    if (bytes.size() > limit)
        element.fail("'" + attribute + "' holds more than the " + std::to_string(limit) + " bytes of a reply");
    return bytes;
}

} // namespace

// <feature> children: features the model answers from its answer table.
void add_scenario_features(const ScenarioElement& device, SimProtocolConfig& config)
{
    for (const ScenarioElement& f : device.children("feature")) {
        SimFeature feature;
        feature.id = static_cast<std::uint16_t>(f.required_number("id", 0xFFFF));
        feature.version = static_cast<std::uint8_t>(f.number("version", 0, 0xFF));
        feature.type = static_cast<std::uint8_t>(f.number("type", 0, 0xFF));
        if (feature.id == 0)
            f.fail("feature 0x0000 is the Root feature, always first");
        bool known = false;
        for (SimFeature& existing : config.features) {
            if (existing.id == feature.id) {
                existing = feature;
                known = true;
            }
        }
        if (!known)
            config.features.push_back(feature);
        std::map<std::uint8_t, std::map<Bytes, Bytes>> prefixed;
        const std::size_t limit = config.very_long_reports ? 60 : 16;
        for (const ScenarioElement& a : f.children("answer")) {
            const auto function = static_cast<std::uint8_t>(a.required_number("function", 15));
            if (a.has("params"))
                prefixed[function][hex_bytes(a, "params", limit)] = hex_bytes(a, "bytes", limit);
            else
                config.answers.push_back(SimAnswer::fixed(feature.id, function, hex_bytes(a, "bytes", limit)));
        }
        for (auto& [function, rows] : prefixed)
            config.answers.push_back(SimAnswer::by_prefix(feature.id, function, std::move(rows)));
    }
}

namespace {

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
    config.very_long_reports = device.flag("very-long", false);
    add_scenario_features(device, config);
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

SimProtocolDevice* scenario_protocol_model(const ScenarioDevice& device)
{
    if ((device.kind != "keyboard" && device.kind != "mouse") || !device.model)
        return nullptr;
    return std::static_pointer_cast<ProtocolScenarioDevice>(device.model)->model.get();
}

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
