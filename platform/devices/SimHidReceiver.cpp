#include "devices/SimHidReceiver.h"
#include "devices/SimScenarioFirmware.h"

#include "devices/SimOta.h"
#include "devices/SimReceiverScenario.h"

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
    const SimReceiverFirmware firmware = default_receiver_firmware(productId);
    set_firmware(firmware, sim_bootloader_config(firmware.family, firmware.bootloaderProductId));
    m_receiver->set_route_handler([this](int index, bool on) { route(index, on); });
}

SimHidReceiver::~SimHidReceiver()
{
    // Nothing of the receiver or its bootloader may call back from here on.
    m_receiver->shut_down();
    if (m_bootloader)
        m_bootloader->model().shut_down();
    m_tasks.stop();
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
    raw->ota().set_enabled(true);
    set_paired_details(*m_receiver, index, *raw);
    raw->set_presence_handler([weak, index](bool present) {
        if (auto receiver = weak.lock()) {
            if (present)
                receiver->link(index);
            else
                receiver->unlink(index);
        }
    });
    auto toDevice = [raw](const Bytes& report) { return raw->write(report); };
    if (!m_receiver->pair_acknowledged(index, pid, name, toDevice, linked))
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

void SimHidReceiver::plug()
{
    SimHidBootloader* bootloader = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_in_bootloader)
            bootloader = m_bootloader.get();
    }
    if (bootloader)
        bootloader->plug();
    else
        m_hid->plug();
}

void SimHidReceiver::unplug(Removal how)
{
    SimHidBootloader* bootloader = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_in_bootloader)
            bootloader = m_bootloader.get();
    }
    if (bootloader)
        bootloader->unplug(how);
    else
        m_hid->unplug(how);
}

void SimHidReceiver::set_firmware(const SimReceiverFirmware& firmware, const SimBootloaderConfig& config)
{
    std::unique_ptr<SimHidBootloader> old;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_firmware = firmware;
        old = std::move(m_bootloader);
        m_in_bootloader = false;
    }
    old.reset();
    m_receiver->set_version(firmware.version);
    std::unique_ptr<SimHidBootloader> bootloader;
    if (config.family != SimBootloaderFamily::None) {
        bootloader = std::make_unique<SimHidBootloader>(config, firmware.version);
        bootloader->model().set_restart_handler([this](bool accepted) { on_bootloader_restart(accepted); });
        SimHidBootloader* raw = bootloader.get();
        bootloader->model().set_unplug_handler([raw] { raw->unplug(); });
    }
    const bool any = bootloader != nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bootloader = std::move(bootloader);
    }
    m_receiver->set_bootloader_handler(any ? std::function<void()>([this] { enter_bootloader(); }) : nullptr);
}

SimReceiverFirmware SimHidReceiver::firmware() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_firmware;
}

void SimHidReceiver::start_in_bootloader()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bootloader)
        m_in_bootloader = true;
}

bool SimHidReceiver::in_bootloader() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_in_bootloader;
}

void SimHidReceiver::set_switch_delays(std::chrono::milliseconds toBootloader, std::chrono::milliseconds restart)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_to_bootloader = toBootloader;
    m_restart = restart;
}

bool SimHidReceiver::wait_for_mode(bool bootloader, std::chrono::milliseconds deadline) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_mode_changed.wait_for(lock, deadline, [&] { return m_in_bootloader == bootloader && !m_switching; });
}

bool SimHidReceiver::wait_until_settled(std::chrono::milliseconds deadline) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_mode_changed.wait_for(lock, deadline, [&] { return !m_switching; });
}

// On the receiver's thread, after its reply to "ICP".
void SimHidReceiver::enter_bootloader()
{
    std::chrono::milliseconds delay;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_in_bootloader || !m_bootloader)
            return;
        m_in_bootloader = true;
        m_switching = true;
        delay = m_to_bootloader;
    }
    m_hid->unplug(Removal::Surprise);
    m_tasks.post_after(delay, [this] {
        SimHidBootloader* bootloader = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_in_bootloader)
                return;
            bootloader = m_bootloader.get();
        }
        bootloader->model().set_application(m_receiver->version());
        bootloader->plug();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_switching = false;
        m_mode_changed.notify_all();
    });
}

// On the bootloader's thread, after its reply to the restart command.
void SimHidReceiver::on_bootloader_restart(bool accepted)
{
    SimHidBootloader* bootloader = nullptr;
    std::chrono::milliseconds delay;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        bootloader = m_bootloader.get();
        m_switching = true;
        delay = m_restart;
        if (accepted)
            m_firmware.version = m_firmware.updated;
    }
    bootloader->unplug(Removal::Surprise);
    if (!accepted) {
        // No valid image: the bootloader starts again.
        m_tasks.post_after(delay, [this, bootloader] {
            bootloader->plug();
            std::lock_guard<std::mutex> lock(m_mutex);
            m_switching = false;
            m_mode_changed.notify_all();
        });
        return;
    }
    m_receiver->set_version(firmware().updated);
    m_receiver->restart();
    m_tasks.post_after(delay, [this] {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_in_bootloader = false;
        }
        m_hid->plug();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_switching = false;
        m_mode_changed.notify_all();
    });
}

// On the receiver's thread: "LT" + index, "LTu" (index 0, on) or "XIT" (index 0, off).
void SimHidReceiver::route(int index, bool on)
{
    // Under the lock, so an unpairing cannot take the model away meanwhile; routing only queues
    // the model's link change and never calls back.
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 1; i <= SimReceiver::kSlots; ++i)
        if ((index == 0 || index == i) && m_models[i - 1])
            m_models[i - 1]->ota().route(on);
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
                apply_paired_config_attributes(paired, config);
                add_scenario_features(paired, config);
                if (!receiver->pair(slot, config, paired.flag("linked", true)))
                    paired.fail("slot taken or out of range");
                apply_paired_model_attributes(paired, *receiver, slot);
            }
            apply_receiver_attributes(device, *receiver);
            ScenarioDevice result;
            result.kind = "receiver";
            result.node = node;
            result.collections = receiver->hid().collections();
            result.model = receiver;
            if (receiver->in_bootloader()) {
                // The scenario plugs and removes the node it is given: the bootloader's.
                result.node = receiver->bootloader()->node();
                result.collections = {receiver->bootloader()->collection()};
                result.model = std::shared_ptr<void>(new std::shared_ptr<SimHidReceiver>(receiver), [node](void* p) {
                    delete static_cast<std::shared_ptr<SimHidReceiver>*>(p);
                    remove_dev_node(node);
                });
            }
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
