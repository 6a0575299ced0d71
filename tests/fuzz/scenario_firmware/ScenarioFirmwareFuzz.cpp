// The scenario loader on arbitrary text, with the device kinds that read firmware entities,
// the bootloader switch, unit id and battery. A bad scenario is a ScenarioError, nothing else.
#include "devices/SimHidReceiver.h"

#include <sim/DeviceTree.h>
#include <sim/Scenario.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool kinds = (platform::sim::register_device_model_scenario_kinds(), true);
    (void)kinds;
    if (size > 4096)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        platform::sim::Scenario scenario = platform::sim::Scenario::from_text(text);
        (void)scenario.devices().size();
    } catch (const platform::sim::ScenarioError&) {
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
