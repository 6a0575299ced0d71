#include <sim/Scenario.h>

#include "DeviceTree.h"

#include <sim/Kernel.h>

#include <quillon/XmlNesting.h>
#include <rapidxml/rapidxml.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <utility>

namespace platform::sim {

namespace {

using XmlNode = rapidxml::xml_node<char>;

const XmlNode* as_node(const void* node)
{
    return static_cast<const XmlNode*>(node);
}

struct KindRegistry {
    std::mutex mutex;
    std::map<std::string, DeviceKindFactory> factories;
};

ScenarioDevice build_plain(const ScenarioElement& device, bool echo);

KindRegistry& kinds()
{
    static KindRegistry& registry = *new KindRegistry;  // never destroyed: threads may still use it at exit
    static std::once_flag builtIns;
    std::call_once(builtIns, [] {
        registry.factories["hid"] = [](const ScenarioElement& e) { return build_plain(e, false); };
        registry.factories["echo"] = [](const ScenarioElement& e) { return build_plain(e, true); };
    });
    return registry;
}

// <registry key="HKEY_LOCAL_MACHINE\..." value="name" dword="number"/>
ScenarioRegistryValue registry_value(const ScenarioElement& e)
{
    ScenarioRegistryValue value;
    const std::string path = e.required("key");
    bool rooted = false;
    for (const auto& [root, currentUser] : {std::pair<std::string, bool>{"HKEY_LOCAL_MACHINE\\", false},
                                            std::pair<std::string, bool>{"HKEY_CURRENT_USER\\", true}}) {
        if (path.compare(0, root.size(), root) == 0) {
            value.currentUser = currentUser;
            value.key = path.substr(root.size());
            rooted = true;
        }
    }
    if (!rooted || value.key.empty() || value.key.back() == '\\')
        e.fail("attribute \"key\": \"" + path +
               "\" is not a key below HKEY_LOCAL_MACHINE\\ or HKEY_CURRENT_USER\\");
    value.name = e.required("value");
    value.value = e.required_number("dword", 0xFFFFFFFFul);
    return value;
}

// Numbers of generated instance ids, per process.
std::atomic<unsigned> g_deviceSerial{0};

ScenarioDevice build_plain(const ScenarioElement& device, bool echo)
{
    ScenarioDevice built;
    built.node = make_scenario_devnode(device);
    const auto collections = device.children("collection");
    if (collections.empty())
        device.fail("has no <collection>");
    for (const auto& c : collections) {
        auto collection = create_hid_collection(scenario_collection_layout(c, device, built.node));
        if (echo)
            collection->set_model(std::make_shared<EchoModel>());
        built.collections.push_back(std::move(collection));
    }
    return built;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// ScenarioElement

ScenarioElement::ScenarioElement(const void* node, std::string where) : m_node(node), m_where(std::move(where)) {}

std::string ScenarioElement::name() const
{
    return std::string(as_node(m_node)->name(), as_node(m_node)->name_size());
}

bool ScenarioElement::has(const std::string& attribute) const
{
    return as_node(m_node)->first_attribute(attribute.c_str(), attribute.size()) != nullptr;
}

std::string ScenarioElement::text(const std::string& attribute, const std::string& fallback) const
{
    const auto* a = as_node(m_node)->first_attribute(attribute.c_str(), attribute.size());
    return a ? std::string(a->value(), a->value_size()) : fallback;
}

std::string ScenarioElement::required(const std::string& attribute) const
{
    if (!has(attribute))
        fail("lacks the attribute \"" + attribute + "\"");
    return text(attribute);
}

unsigned long ScenarioElement::number(const std::string& attribute, unsigned long fallback, unsigned long max) const
{
    if (!has(attribute))
        return fallback;
    const std::string value = text(attribute);
    // Decimal, or hexadecimal after "0x": a leading zero does not make a number octal.
    const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    const unsigned base = hex ? 16 : 10;
    unsigned long n = 0;
    bool ok = !value.empty();
    for (std::size_t i = hex ? 2 : 0; ok && i < value.size(); ++i) {
        const char c = value[i];
        unsigned digit = base;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        ok = digit < base && digit <= max && n <= (max - digit) / base;
        if (ok)
            n = n * base + digit;
    }
    if (!ok)
        fail("attribute \"" + attribute + "\": \"" + value + "\" is not a number from 0 to " + std::to_string(max));
    return n;
}

unsigned long ScenarioElement::required_number(const std::string& attribute, unsigned long max) const
{
    if (!has(attribute))
        fail("lacks the attribute \"" + attribute + "\"");
    return number(attribute, 0, max);
}

bool ScenarioElement::flag(const std::string& attribute, bool fallback) const
{
    if (!has(attribute))
        return fallback;
    const std::string value = text(attribute);
    if (value == "true" || value == "1" || value == "yes")
        return true;
    if (value == "false" || value == "0" || value == "no")
        return false;
    fail("attribute \"" + attribute + "\": \"" + value + "\" is not true or false");
}

std::vector<ScenarioElement> ScenarioElement::children(const std::string& name) const
{
    std::vector<ScenarioElement> out;
    std::map<std::string, int> counts;
    for (auto* child = as_node(m_node)->first_node(); child; child = child->next_sibling()) {
        if (child->type() != rapidxml::node_element)
            continue;
        const std::string childName(child->name(), child->name_size());
        const int index = ++counts[childName];
        if (!name.empty() && childName != name)
            continue;
        const auto* label = child->first_attribute("name");
        const std::string which = label ? "\"" + std::string(label->value(), label->value_size()) + "\""
                                        : std::to_string(index);
        out.emplace_back(child, m_where + " > " + childName + " " + which);
    }
    return out;
}

void ScenarioElement::fail(const std::string& message) const
{
    throw ScenarioError("scenario: " + m_where + ": " + message);
}

// ---------------------------------------------------------------------------------------------
// Factories' helpers

void register_device_kind(const std::string& kind, DeviceKindFactory factory)
{
    auto& registry = kinds();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.factories[kind] = std::move(factory);
}

std::vector<std::string> device_kinds()
{
    auto& registry = kinds();
    std::lock_guard<std::mutex> lock(registry.mutex);
    std::vector<std::string> out;
    for (const auto& entry : registry.factories)
        out.push_back(entry.first);
    return out;
}

DevInst make_scenario_devnode(const ScenarioElement& device)
{
    DevNodeLayout layout;
    if (device.has("instance")) {
        layout.instanceId = device.text("instance");
        if (layout.instanceId.empty())
            device.fail("attribute \"instance\" is empty");
    } else {
        char id[64];
        std::snprintf(id, sizeof id, "USB\\VID_%04lX&PID_%04lX\\SIM%04u", device.number("vendor", 0, 0xFFFF),
                      device.number("product", 0, 0xFFFF), ++g_deviceSerial);
        layout.instanceId = id;
    }
    if (device.has("enumerator")) {
        const std::string name = device.text("enumerator");
        if (!name.empty())
            layout.enumeratorName = name;
    } else {
        layout.enumeratorName = enumerator_of(layout.instanceId);
    }
    try {
        return add_dev_node(layout);
    } catch (const std::invalid_argument& e) {
        device.fail(e.what());
    }
}

HidCollectionLayout scenario_collection_layout(const ScenarioElement& c, const ScenarioElement& device, DevInst parent)
{
    HidCollectionLayout layout;
    layout.parent = parent;
    layout.vendorId = static_cast<std::uint16_t>(c.number("vendor", device.number("vendor", 0, 0xFFFF), 0xFFFF));
    layout.productId = static_cast<std::uint16_t>(c.number("product", device.number("product", 0, 0xFFFF), 0xFFFF));
    layout.versionNumber = static_cast<std::uint16_t>(c.number("version", 0, 0xFFFF));
    layout.usagePage = static_cast<std::uint16_t>(c.required_number("usage-page", 0xFFFF));
    layout.usage = static_cast<std::uint16_t>(c.required_number("usage", 0xFFFF));
    layout.productString = c.text("product-string", device.text("product-string"));
    layout.serialNumber = c.text("serial");
    layout.instanceId = c.text("instance");
    layout.path = c.text("path");
    if (c.has("enumerator")) {
        const std::string name = c.text("enumerator");
        layout.enumeratorName = name.empty() ? std::optional<std::string>() : name;
    }
    layout.inputQueueLength = c.number("queue", layout.inputQueueLength, 4096);
    if (layout.inputQueueLength == 0)
        c.fail("attribute \"queue\" must be at least 1");
    if (c.has("report-id") || c.has("length")) {
        const auto id = static_cast<std::uint8_t>(c.number("report-id", 0, 0xFF));
        const auto length = static_cast<std::uint16_t>(c.required_number("length", 0xFFFF));
        layout.inputReports.push_back({id, length, false});
        layout.outputReports.push_back({id, length, false});
    }
    for (const auto& r : c.children()) {
        const std::string kind = r.name();
        std::vector<HidReportLayout>* list = kind == "input"    ? &layout.inputReports
                                           : kind == "output" ? &layout.outputReports
                                           : kind == "feature" ? &layout.featureReports
                                                               : nullptr;
        if (!list)
            r.fail("is not <input>, <output> or <feature>");
        HidReportLayout report;
        report.id = static_cast<std::uint8_t>(r.number("id", 0, 0xFF));
        report.length = static_cast<std::uint16_t>(r.required_number("length", 0xFFFF));
        report.button = r.flag("button", false);
        if (report.length == 0)
            r.fail("attribute \"length\" must be at least 1");
        list->push_back(report);
    }
    if (layout.inputReports.empty() && layout.outputReports.empty() && layout.featureReports.empty())
        c.fail("has no reports");
    return layout;
}

// ---------------------------------------------------------------------------------------------
// Scenario

Scenario::Scenario(Scenario&& other) noexcept
    : m_devices(std::move(other.m_devices)), m_registry(std::move(other.m_registry))
{
    other.m_devices.clear();
}

Scenario& Scenario::operator=(Scenario&& other) noexcept
{
    if (this != &other) {
        clear();
        m_devices = std::move(other.m_devices);
        m_registry = std::move(other.m_registry);
        other.m_devices.clear();
    }
    return *this;
}

Scenario::~Scenario()
{
    clear();
}

void Scenario::clear()
{
    for (auto it = m_devices.rbegin(); it != m_devices.rend(); ++it)
        if (it->node)
            remove_dev_node(it->node);
    m_devices.clear();
}

Scenario Scenario::from_file(const std::string& hostPath)
{
    // A folder opens as a stream that reads nothing: say what it is rather than blame its XML.
    std::error_code error;
    if (std::filesystem::is_directory(hostPath, error))
        throw ScenarioError("scenario: \"" + hostPath + "\" is a folder, not a scenario file");
    std::ifstream in(hostPath, std::ios::binary);
    if (!in)
        throw ScenarioError("scenario: cannot read \"" + hostPath + "\"");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw ScenarioError("scenario: cannot read \"" + hostPath + "\"");
    return from_text(text.str());
}

Scenario Scenario::from_text(const std::string& xml)
{
    // rapidxml descends recursively: a hostile or broken file ends in an error, not a stack overflow.
    if (quillon::xml_nested_too_deeply(xml))
        throw ScenarioError("scenario: malformed XML: elements nested more than " +
                            std::to_string(quillon::kMaxXmlNesting) + " deep");
    std::vector<char> buffer(xml.begin(), xml.end());
    buffer.push_back('\0');
    rapidxml::xml_document<char> document;
    try {
        document.parse<rapidxml::parse_default>(buffer.data());
    } catch (const rapidxml::parse_error& e) {
        const auto offset = static_cast<long>(e.where<char>() - buffer.data());
        throw ScenarioError(std::string("scenario: malformed XML: ") + e.what() + " at offset " + std::to_string(offset));
    }
    const XmlNode* root = document.first_node();
    while (root && root->type() != rapidxml::node_element)
        root = root->next_sibling();
    if (!root || std::string(root->name(), root->name_size()) != "scenario")
        throw ScenarioError("scenario: the root element must be <scenario>");

    Scenario scenario;
    const ScenarioElement top(root, "scenario");
    for (const auto& e : top.children()) {
        if (e.name() == "registry") {
            scenario.m_registry.push_back(registry_value(e));
            continue;
        }
        if (e.name() != "device")
            e.fail("is not a <device> or a <registry>");
        const std::string kind = e.required("kind");
        DeviceKindFactory factory;
        {
            auto& registry = kinds();
            std::lock_guard<std::mutex> lock(registry.mutex);
            auto it = registry.factories.find(kind);
            if (it != registry.factories.end())
                factory = it->second;
        }
        if (!factory) {
            std::string known;
            for (const auto& k : device_kinds())
                known += (known.empty() ? "" : ", ") + k;
            e.fail("unknown device kind \"" + kind + "\" (known: " + known + ")");
        }
        const std::string name = e.text("name", kind + std::to_string(scenario.m_devices.size() + 1));
        for (const auto& d : scenario.m_devices)
            if (d.name == name)
                e.fail("a device named \"" + name + "\" exists already");
        const bool plugged = e.flag("plugged", true);
        // Whatever the factory adds below the root and does not hand back is removed on failure.
        const auto before = children_of(0);
        try {
            ScenarioDevice built = factory(e);
            built.name = name;
            built.kind = kind;
            built.plugged = plugged;
            scenario.m_devices.push_back(std::move(built));
        } catch (...) {
            for (DevInst node : children_of(0))
                if (std::find(before.begin(), before.end(), node) == before.end())
                    remove_dev_node(node);
            try {
                throw;
            } catch (const ScenarioError&) {
                throw;
            } catch (const std::exception& error) {
                e.fail(error.what());
            }
        }
    }
    return scenario;
}

void Scenario::plug()
{
    for (const auto& r : m_registry)
        registry_set_dword(r.currentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, r.key, r.name,
                           static_cast<DWORD>(r.value));
    for (const auto& d : m_devices)
        if (d.plugged && d.node && !is_present(d.node))
            platform::sim::plug(d.node);
}

const ScenarioDevice* Scenario::device(const std::string& name) const
{
    for (const auto& d : m_devices)
        if (d.name == name)
            return &d;
    return nullptr;
}

}  // namespace platform::sim
