#include "devices/SimScenarioFirmware.h"

namespace platform::sim {

namespace {
constexpr std::uint16_t kDfuControlC1 = 0x00C1;
constexpr std::uint16_t kDfuControlC2 = 0x00C2;
} // namespace

void apply_scenario_firmware(const ScenarioElement& element, SimProtocolConfig& config)
{
    // Scenario devices restart into their bootloader quickly unless told otherwise, well
    // within the host's one-second pause after the switch.
    config.dfu_switch_delay = std::chrono::milliseconds(element.number("switch-delay-ms", 20, 60000));
    if (element.has("switch")) {
        const auto id = static_cast<std::uint16_t>(element.required_number("switch", 0xFFFF));
        if (id != kDfuControlC1 && id != kDfuControlC2)
            element.fail("switch must be 0x00C1 or 0x00C2");
        bool replaced = false;
        for (SimFeature& f : config.features) {
            if (f.id == kDfuControlC1 || f.id == kDfuControlC2) {
                f.id = id;
                replaced = true;
            }
        }
        if (!replaced)
            config.features.push_back({id, 0, 0});
    }
    const std::vector<ScenarioElement> entities = element.children("firmware");
    if (entities.empty())
        return;
    if (entities.size() > 16)
        element.fail("at most 16 firmware entities");
    std::vector<SimFirmwareEntity> firmware;
    bool application = false;
    for (const ScenarioElement& e : entities) {
        SimFirmwareEntity entity;
        entity.type = static_cast<std::uint8_t>(e.number("type", 0, 0x0F));
        entity.name = e.text("name", entity.type == 0 ? "APP" : "BOT");
        if (entity.name.size() != 3)
            e.fail("name must have three characters");
        entity.number = static_cast<std::uint16_t>(e.required_number("number", 0xFFFF));
        entity.build = static_cast<std::uint16_t>(e.number("build", 0, 0xFFFF));
        entity.active = entity.type == 0 && !application;
        application = application || entity.type == 0;
        firmware.push_back(entity);
    }
    config.firmware = std::move(firmware);
}

void apply_scenario_unit(const ScenarioElement& element, SimProtocolConfig& config)
{
    config.unit_id = static_cast<std::uint32_t>(element.number("unit-id", config.unit_id, 0xFFFFFFFFul));
    config.battery_level = static_cast<std::uint8_t>(element.number("battery", config.battery_level, 0xFF));
    config.battery_critical =
        static_cast<std::uint8_t>(element.number("battery-critical", config.battery_critical, 0xFF));
}

} // namespace platform::sim
