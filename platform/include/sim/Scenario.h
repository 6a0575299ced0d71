// Scenarios: simulated devices described in a small XML file of our own.
//
//   <scenario>
//     <device kind="echo" name="kb" instance="USB\VID_7E51&amp;PID_C52B\5&amp;1&amp;0&amp;1">
//       <collection vendor="0x7E51" product="0xC52B" usage-page="0xFF00" usage="1"
//                   report-id="0x10" length="7" product-string="Sim Keyboard"/>
//       <collection vendor="0x7E51" product="0xC52B" usage-page="0xFF00" usage="2">
//         <input id="0x11" length="20"/>
//         <output id="0x11" length="20"/>
//       </collection>
//     </device>
//   </scenario>
//
// Each <device> names a kind; the kind's factory builds it. Built in: "hid" (plain collections
// that answer nothing) and "echo" (every collection echoes its output reports). Device models
// register further kinds ("keyboard", "mouse", "receiver") with register_device_kind.
//
// <registry key="HKEY_LOCAL_MACHINE\SOFTWARE\TARNWICK\RAVELIN" value="LoggingLevel" dword="0x4"/>
// sets a REG_DWORD value of the machine when the scenario is plugged (HKEY_CURRENT_USER too).
#pragma once

#include <sim/DeviceTree.h>
#include <sim/HidCollection.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::sim {

// Any fault of a scenario: unreadable file, malformed XML, unknown kind, bad attribute.
class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Read-only view of one element of a scenario, valid during the factory call.
class ScenarioElement {
public:
    ScenarioElement(const void* node, std::string where);

    std::string name() const;
    // Where the element sits, for error texts ("device 'kb' > collection 2").
    const std::string& where() const { return m_where; }
    bool has(const std::string& attribute) const;
    std::string text(const std::string& attribute, const std::string& fallback = std::string()) const;
    std::string required(const std::string& attribute) const;
    // Decimal or 0x-hexadecimal, at most `max`; anything else is a ScenarioError.
    unsigned long number(const std::string& attribute, unsigned long fallback, unsigned long max) const;
    unsigned long required_number(const std::string& attribute, unsigned long max) const;
    // "true"/"false"/"1"/"0"/"yes"/"no".
    bool flag(const std::string& attribute, bool fallback) const;
    // Child elements, all or those of one name, in document order.
    std::vector<ScenarioElement> children(const std::string& name = std::string()) const;
    [[noreturn]] void fail(const std::string& message) const;

private:
    const void* m_node;
    std::string m_where;
};

// One device built from a <device> element.
struct ScenarioDevice {
    std::string name;
    std::string kind;
    DevInst node = 0;  // the device's node; its collections hang below it
    std::vector<std::shared_ptr<HidCollection>> collections;
    std::shared_ptr<void> model;  // whatever the kind must keep alive (its device model)
    bool plugged = true;          // plugged when the scenario is plugged
};

// Builds the device (absent, not plugged). Throws ScenarioError (or std::invalid_argument) on
// bad input; nodes it added below the root are removed by the loader then.
using DeviceKindFactory = std::function<ScenarioDevice(const ScenarioElement& device)>;
void register_device_kind(const std::string& kind, DeviceKindFactory factory);
std::vector<std::string> device_kinds();

// Helpers for factories. The device node from the <device> attributes "instance" (default
// "USB\VID_vvvv&PID_pppp\SIMnnnn" from "vendor"/"product"), "enumerator" (default: taken from the
// instance id; "" leaves the property missing); "name" and "plugged" are read by the loader.
DevInst make_scenario_devnode(const ScenarioElement& device);
// A <collection>: "vendor", "product", "version", "usage-page", "usage", "product-string",
// "serial" (vendor, product and product-string default to the device's), "instance", "path",
// "enumerator", "queue"; reports as <input|output|feature id=".." length=".." button="..">
// children, or "report-id" with "length" for one input and one output report.
HidCollectionLayout scenario_collection_layout(const ScenarioElement& collection, const ScenarioElement& device,
                                           DevInst parent);

// A registry value a scenario sets.
struct ScenarioRegistryValue {
    bool currentUser = false;  // else HKEY_LOCAL_MACHINE
    std::string key;           // below the root, "\\"-separated
    std::string name;
    unsigned long value = 0;
};

class Scenario {
public:
    // Builds every device of the scenario (absent); plug() makes the marked ones present.
    static Scenario from_text(const std::string& xml);
    static Scenario from_file(const std::string& hostPath);

    Scenario(Scenario&&) noexcept;
    Scenario& operator=(Scenario&&) noexcept;
    ~Scenario();  // removes its devices from the tree

    // Sets the registry values, then plugs the devices.
    void plug();
    const std::vector<ScenarioDevice>& devices() const { return m_devices; }
    const std::vector<ScenarioRegistryValue>& registryValues() const { return m_registry; }
    const ScenarioDevice* device(const std::string& name) const;

private:
    Scenario() = default;
    void clear();
    std::vector<ScenarioDevice> m_devices;
    std::vector<ScenarioRegistryValue> m_registry;
};

}  // namespace platform::sim
