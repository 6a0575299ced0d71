#include "devices/SimHidReceiver.h"
#include "devices/SimScenarioFirmware.h"

#include <sim/Scenario.h>

namespace platform::sim {

SimHidReceiver::SimHidReceiver(std::uint16_t productId, std::uint32_t serial, DevInst node)
    : m_receiver(std::make_shared<SimReceiver>(productId, serial))
{
    std::weak_ptr<SimReceiver> weak = m_receiver;
    m_hid = std::make_unique<SimHidDevice>(productId, "Sim Receiver", [weak](const Bytes& report) {
        if (auto receiver = weak.lock())
            receiver->on_output_report(report);
    }, node);
    SimHidDevice* hid = m_hid.get();
    m_receiver->set_sink([hid](const Bytes& report) { hid->send_input(report); });
}

SimHidReceiver::~SimHidReceiver()
{
    for (auto& model : m_models)
        if (model)
            model->set_sink(nullptr);
    m_receiver->set_sink(nullptr);
    m_hid.reset();
    for (auto& model : m_models)
        model.reset();
}

SimProtocolDevice* SimHidReceiver::pair(int index, SimProtocolConfig config, bool linked)
{
    if (index < 1 || index > SimReceiver::kSlots)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_models[index - 1])
        return nullptr;
    const std::uint16_t pid = config.product_id;
    const std::string name = config.name;
    auto model = std::make_unique<SimProtocolDevice>(std::move(config));
    SimProtocolDevice* raw = model.get();
    std::weak_ptr<SimReceiver> weak = m_receiver;
    raw->set_sink([weak, index](const Bytes& report) {
        if (auto receiver = weak.lock())
            receiver->from_device(index, report);
    });
    raw->set_presence_handler([weak, index](bool present) {
        if (auto receiver = weak.lock()) {
            if (present)
                receiver->link(index);
            else
                receiver->unlink(index);
        }
    });
    if (!m_receiver->pair(index, pid, name, [raw](const Bytes& report) { raw->write(report); }, linked))
        return nullptr;
    m_models[index - 1] = std::move(model);
    return raw;
}

SimProtocolDevice* SimHidReceiver::paired(int index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return index >= 1 && index <= SimReceiver::kSlots ? m_models[index - 1].get() : nullptr;
}

void SimHidReceiver::unpair(int index)
{
    if (index < 1 || index > SimReceiver::kSlots)
        return;
    m_receiver->unpair(index);
    std::unique_ptr<SimProtocolDevice> model;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        model = std::move(m_models[index - 1]);
    }
    if (model)
        model->set_sink(nullptr);
}

void register_receiver_scenario_kind()
{
    static std::once_flag once;
    std::call_once(once, []() {
        register_device_kind("receiver", [](const ScenarioElement& device) {
            const auto product = static_cast<std::uint16_t>(device.required_number("product", 0xFFFF));
            const auto serial = static_cast<std::uint32_t>(device.number("serial", 0x1A2B3C4D, 0xFFFFFFFFul));
            const DevInst node = make_scenario_devnode(device);
            auto receiver = std::make_shared<SimHidReceiver>(product, serial, node);
            for (const ScenarioElement& paired : device.children("paired")) {
                const int slot = static_cast<int>(paired.required_number("slot", SimReceiver::kSlots));
                const std::string kind = paired.text("kind", "keyboard");
                if (kind != "keyboard" && kind != "mouse")
                    paired.fail("unknown paired kind '" + kind + "'");
                SimProtocolConfig config = kind == "mouse" ? sim_mouse_config() : sim_keyboard_config();
                config.product_id = static_cast<std::uint16_t>(paired.number("product", config.product_id, 0xFFFF));
                config.name = paired.text("name", config.name);
                apply_scenario_unit(paired, config);
                apply_scenario_firmware(paired, config);
                if (!receiver->pair(slot, config, paired.flag("linked", true)))
                    paired.fail("slot taken or out of range");
            }
            ScenarioDevice result;
            result.kind = "receiver";
            result.node = node;
            result.collections = receiver->hid().collections();
            result.model = receiver;
            return result;
        });
    });
}

void register_device_model_scenario_kinds()
{
    register_protocol_scenario_kinds();
    register_receiver_scenario_kind();
}

namespace {
// Known to every program that links the receiver model.
const bool g_registered = (register_device_model_scenario_kinds(), true);
}  // namespace

}  // namespace platform::sim

extern "C" void quillon_sim_device_model_kinds()
{
    platform::sim::register_device_model_scenario_kinds();
}
