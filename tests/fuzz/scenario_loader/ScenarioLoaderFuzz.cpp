// Scenario files are read from disk as the user wrote them: any text ends in a scenario or a
// ScenarioError, never a crash nor an exception of any other kind (a device tree or HID
// collection that refuses a description throws std::invalid_argument: the loader reports it as a
// ScenarioError). The device models' kinds (keyboard, mouse, receiver) are linked in.
#include <sim/DeviceTree.h>
#include <sim/Kernel.h>
#include <sim/Scenario.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        platform::sim::Scenario scenario = platform::sim::Scenario::from_text(text);
        scenario.plug();
    } catch (const platform::sim::ScenarioError&) {
    }
    platform::sim::remove_all_dev_nodes();
    platform::sim::registry_clear();  // what a <registry> element set
    return 0;
}
