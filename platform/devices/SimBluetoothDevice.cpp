#include "devices/SimBluetoothDevice.h"

#include "devices/SimHidDevice.h"

#include <sim/WinRTBluetooth.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace platform::sim {

namespace {

const GUID kProtocolService = {0x00010000, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};
const GUID kProtocolCharacteristic = {0x00010001, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};
const GUID kSecondService = {0x00050000, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};
const GUID kSecondCharacteristic = {0x00050001, 0x0000, 0x1000, {0x80, 0x00, 0x01, 0x1F, 0x20, 0x00, 0x7E, 0x51}};

std::string hex(unsigned value, int digits)
{
    char text[20];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

GattCharacteristic protocol_characteristic(std::uint16_t handle, const GUID& uuid)
{
    GattCharacteristic c;
    c.handle = handle;
    c.uuid = GattUuid::of(uuid);
    c.writable = true;
    c.writableWithoutResponse = true;
    c.notifiable = true;
    GattDescriptor cccd;
    cccd.handle = static_cast<std::uint16_t>(handle + 2);
    c.descriptors.push_back(cccd);
    return c;
}

std::vector<GattService> layout(const SimBluetoothConfig& config, std::uint16_t productId)
{
    std::vector<GattService> services;
    GattService info;
    info.handle = 0x10;
    info.uuid = GattUuid::of_short(0x180A);
    GattCharacteristic serial;
    serial.handle = 0x11;
    serial.uuid = GattUuid::of_short(0x2A25);
    serial.readable = true;
    serial.value.assign(config.serial.begin(), config.serial.end());
    GattCharacteristic pnp;
    pnp.handle = 0x13;
    pnp.uuid = GattUuid::of_short(0x2A50);
    pnp.readable = true;
    pnp.value = {0x02, 0x51, 0x7E, static_cast<std::uint8_t>(productId & 0xFF), static_cast<std::uint8_t>(productId >> 8),
                 0x01, 0x00};
    pnp.value.resize(std::min<std::size_t>(config.pnpIdSize, pnp.value.size()));
    info.characteristics = {serial, pnp};
    services.push_back(info);

    GattService protocol;
    protocol.handle = 0x1F;
    protocol.uuid = GattUuid::of(kProtocolService);
    const bool direct = config.form == SimBluetoothConfig::Form::DirectIndex;
    protocol.characteristics = {protocol_characteristic(SimBluetoothDevice::kProtocolHandle,
                                                        direct ? kProtocolService : kProtocolCharacteristic)};
    services.push_back(protocol);
    if (config.form == SimBluetoothConfig::Form::BothServices) {
        GattService second;
        second.handle = 0x2F;
        second.uuid = GattUuid::of(kSecondService);
        second.characteristics = {protocol_characteristic(SimBluetoothDevice::kSecondProtocolHandle, kSecondCharacteristic)};
        services.push_back(second);
    }
    return services;
}

}  // namespace

SimBluetoothDevice::SimBluetoothDevice(SimProtocolConfig protocol, SimBluetoothConfig config)
    : m_config(std::move(config)), m_address(m_config.address), m_name(protocol.name)
{
    m_direct_index = m_config.form == SimBluetoothConfig::Form::DirectIndex;
    const std::uint16_t pid = protocol.product_id;
    // Over the air the switch restarts the device: its link drops until the bootloader is up.
    protocol.dfu_switch_restarts = true;
    m_model = std::make_unique<SimProtocolDevice>(std::move(protocol));
    if (m_config.lowEnergy) {
        m_gatt = std::make_shared<GattServer>(layout(m_config, pid));
        m_gatt->set_reachable(false);
        m_gatt->set_write_handler([this](std::uint16_t c, const GattBytes& v) { to_model(c, v); });
    }
    m_model->set_sink([this](const Bytes& report) { from_model(report); });
    m_model->set_presence_handler([this](bool present) { on_presence(present); });
    publish_stack();
}

SimBluetoothDevice::~SimBluetoothDevice()
{
    m_model->set_sink(nullptr);
    m_model->set_presence_handler(nullptr);
    if (m_gatt)
        m_gatt->set_write_handler(nullptr);
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_link_handler = nullptr;
    }
    remove_nodes();
    remove_stack_device(m_address);
    runtime_remove_device(m_address);
    m_model.reset();
}

std::uint64_t SimBluetoothDevice::address() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_address;
}

std::string SimBluetoothDevice::name() const { return m_name; }

std::string SimBluetoothDevice::address_text12() const { return hex(static_cast<unsigned>(m_address >> 24), 6) + hex(static_cast<unsigned>(m_address & 0xFFFFFF), 6); }

std::string SimBluetoothDevice::gatt_path() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_gatt_path;
}

std::vector<std::string> SimBluetoothDevice::hid_paths() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& c : m_collections)
        out.push_back(lower(c->path()));
    return out;
}

void SimBluetoothDevice::publish_stack()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    StackDevice d;
    d.address = m_address;
    d.name = m_name;
    d.lowEnergy = m_config.lowEnergy;
    d.pairedRadios = m_paired;
    d.connectedRadio = m_in_range ? m_radio : 0;
    d.inRange = m_in_range;
    set_stack_device(d);
    // The runtime lists paired devices; its connection state follows the link. A device that
    // is being found anew is listed once its link is up (connect).
    if (m_unlisted)
        return;
    if (!m_paired.empty()) {
        RuntimeDevice r;
        r.address = m_address;
        r.name = m_name;
        r.lowEnergy = m_config.lowEnergy;
        r.connected = m_radio != 0 && m_in_range && m_node != 0;
        r.gatt = m_gatt;
        runtime_set_device(r);
    } else {
        runtime_remove_device(m_address);
    }
}

void SimBluetoothDevice::advertise(bool withName, bool withService)
{
    std::vector<GUID> services;
    if (withService)
        services.push_back(kProtocolService);
    runtime_advertise(address(), withName ? m_name : std::string(), services);
}

void SimBluetoothDevice::pair(DevInst radio)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (std::find(m_paired.begin(), m_paired.end(), radio) == m_paired.end())
        m_paired.push_back(radio);
    const std::string pid = hex(m_model->product_id(), 4);
    const std::string addr = address_text12();
    if (m_config.lowEnergy) {
        add_bluetooth_registry_entry("BTHLEDevice",
                                     "{00001812-0000-1000-8000-00805f9b34fb}_Dev_VID&027e51_PID&" + pid + "_REV&0001_" + addr,
                                     "8&" + addr + "&0&0001", std::string("9&" + addr + "&0"), m_address);
        add_bluetooth_registry_entry("BTHLEDevice",
                                     "{00010000-0000-1000-8000-011f20007e51}_Dev_VID&027e51_PID&" + pid + "_REV&0001_" + addr,
                                     "8&" + addr + "&0&0010", std::nullopt, m_address);
    } else {
        add_bluetooth_registry_entry("BTHENUM", "{00001124-0000-1000-8000-00805f9b34fb}_VID&00027e51_PID&" + pid,
                                     "7&1&0&" + addr, std::string("8&" + addr + "&0"), m_address);
    }
    publish_stack();
}

void SimBluetoothDevice::unpair(DevInst radio)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_paired.erase(std::remove(m_paired.begin(), m_paired.end(), radio), m_paired.end());
    publish_stack();
    if (m_config.lowEnergy)
        send_radio_in_range_event(radio, m_address, 0, kBtRememberedLE);
}

void SimBluetoothDevice::build_nodes()
{
    const std::string pid = hex(m_model->product_id(), 4);
    const std::string addr = address_text12();
    DevNodeLayout node;
    std::string service;
    std::string prefix;
    if (m_config.lowEnergy) {
        service = "{00001812-0000-1000-8000-00805f9b34fb}_Dev_VID&027e51_PID&" + pid + "_REV&0001_" + addr;
        node.instanceId = "BTHLEDEVICE\\" + service + "\\8&" + addr + "&0&0001";
        node.enumeratorName = "BTHLEDEVICE";
        prefix = "9&" + addr + "&0";
    } else {
        service = "{00001124-0000-1000-8000-00805f9b34fb}_VID&00027e51_PID&" + pid;
        node.instanceId = "BTHENUM\\" + service + "\\7&1&0&" + addr;
        node.enumeratorName = "BTHENUM";
        prefix = "8&" + addr + "&0";
    }
    node.parent = m_radio;
    m_node = add_dev_node(node);
    if (m_config.hidCollections) {
        for (bool longReport : {false, true}) {
            HidCollectionLayout c =
                SimHidDevice::collection_layout(0x7E51, m_model->product_id(), longReport, m_name, m_node, "x");
            c.instanceId = "HID\\" + service + (longReport ? "&COL02\\" : "&COL01\\") + prefix + "&000" +
                           (longReport ? "1" : "0");
            m_collections.push_back(create_hid_collection(c));
        }
        SimProtocolDevice* model = m_model.get();
        SimHidDevice::attach(m_collections, [model](const Bytes& report) { model->write(report); });
    }
    if (m_config.lowEnergy && m_config.win32GattInterface) {
        const std::string gattService =
            "{00010000-0000-1000-8000-011f20007e51}_Dev_VID&027e51_PID&" + pid + "_REV&0001_" + addr;
        DevNodeLayout gatt;
        gatt.instanceId = "BTHLEDevice\\" + gattService + "\\8&" + addr + "&0&0010";
        gatt.enumeratorName = "BTHLEDEVICE";
        gatt.parent = m_node;
        m_gatt_node = add_dev_node(gatt);
        m_gatt_path = lower("\\\\?\\bthledevice#" + gattService + "#8&" + addr + "&0&0010#{00010000-0000-1000-8000-011f20007e51}");
        add_interface(m_gatt_node, kProtocolService, m_gatt_path);
        register_gatt_server(m_gatt_node, m_gatt);
    }
}

void SimBluetoothDevice::remove_nodes()
{
    DevInst node, gattNode;
    std::vector<std::shared_ptr<HidCollection>> collections;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        node = std::exchange(m_node, 0);
        gattNode = std::exchange(m_gatt_node, 0);
        collections.swap(m_collections);
        m_gatt_path.clear();
    }
    if (gattNode)
        register_gatt_server(gattNode, nullptr);
    SimHidDevice::attach(collections, nullptr);
    if (node)
        remove_dev_node(node);
}

void SimBluetoothDevice::connect(DevInst radio)
{
    LinkHandler handler;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (m_radio)
            return;
        m_radio = radio;
        if (std::find(m_paired.begin(), m_paired.end(), radio) == m_paired.end())
            pair(radio);
        publish_stack();
        if (!m_in_range)
            return;
        build_nodes();
        if (m_gatt)
            m_gatt->set_reachable(true);
        handler = m_link_handler;
    }
    plug(m_node);
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_unlisted = false;
    }
    publish_stack();
    runtime_set_connected(address(), true);
    if (m_config.lowEnergy)
        send_radio_in_range_event(radio, address(), kBtConnected | kBtRememberedLE, kBtRememberedLE);
    else
        send_l2cap_event(radio, address(), 0x13, true);
    if (handler)
        handler(true);
}

void SimBluetoothDevice::disconnect()
{
    LinkHandler handler;
    DevInst radio;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        radio = std::exchange(m_radio, 0);
        if (!radio)
            return;
        publish_stack();
        if (m_gatt)
            m_gatt->set_reachable(false);
        handler = m_link_handler;
    }
    runtime_set_connected(address(), false);
    if (m_config.lowEnergy)
        send_radio_in_range_event(radio, address(), kBtRememberedLE, kBtConnected | kBtRememberedLE);
    else
        send_l2cap_event(radio, address(), 0x13, false);
    remove_nodes();
    if (handler)
        handler(false);
}

bool SimBluetoothDevice::connected() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_radio != 0 && m_in_range;
}

DevInst SimBluetoothDevice::radio() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_radio;
}

void SimBluetoothDevice::leave_range()
{
    DevInst radio;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_in_range = false;
        radio = m_radio;
    }
    if (radio) {
        disconnect();
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_radio = radio;  // comes back through the same radio
        publish_stack();
    }
}

void SimBluetoothDevice::enter_range()
{
    DevInst radio;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_in_range = true;
        radio = std::exchange(m_radio, 0);
    }
    if (radio)
        connect(radio);
}

void SimBluetoothDevice::set_link_handler(LinkHandler handler)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_link_handler = std::move(handler);
}

void SimBluetoothDevice::on_presence(bool present)
{
    // The model restarts (power cycle, bootloader switch, the restart after an image): the link
    // drops and comes back, the bootloader at an address of its own when it has one.
    if (!present) {
        DevInst radio = this->radio();
        disconnect();
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_radio = radio;
        return;
    }
    DevInst radio;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        radio = std::exchange(m_radio, 0);
        const std::uint64_t address =
            m_model->in_bootloader() && m_config.bootloaderAddress ? m_config.bootloaderAddress : m_config.address;
        // A device that restarted by itself into other firmware (the switch, a completed image)
        // shows another set of services: the stack drops what it knew and finds it anew, so it
        // leaves and arrives rather than reconnects. A power cycle or a trip out of range is a
        // reconnection.
        const unsigned restarts = m_model->firmware_restarts();
        const bool renewed = restarts != m_restarts_seen;
        m_restarts_seen = restarts;
        if (renewed || address != m_address) {
            // Found anew as it connects: the runtime's watchers hear of it with its link up.
            remove_stack_device(m_address);
            runtime_remove_device(m_address);
            m_unlisted = radio != 0;
            m_address = address;
            const std::vector<DevInst> paired = std::exchange(m_paired, {});
            for (DevInst r : paired)
                pair(r);
        }
    }
    if (radio)
        connect(radio);
}

void SimBluetoothDevice::from_model(const Bytes& report)
{
    if (report.size() < 2)
        return;
    std::vector<std::shared_ptr<HidCollection>> collections;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        collections = m_collections;
    }
    for (const auto& c : collections)
        if ((report[0] == 0x11) == (c->layout().inputReports.front().length == 20))
            c->send_input_report(report);
    if (!m_gatt)
        return;
    GattBytes value(report.begin() + (m_direct_index ? 1 : 2), report.end());
    m_gatt->notify(kProtocolHandle, value);
    m_gatt->notify(kSecondProtocolHandle, value);
}

void SimBluetoothDevice::to_model(std::uint16_t characteristic, const GattBytes& value)
{
    if (characteristic != kProtocolHandle && characteristic != kSecondProtocolHandle)
        return;
    Bytes report;
    if (m_direct_index) {
        report.push_back(0x11);
        report.insert(report.end(), value.begin(), value.end());
    } else {
        report = {0x11, 0xFF};
        report.insert(report.end(), value.begin(), value.end());
    }
    report.resize(20, 0);
    m_model->write(report);
}

}  // namespace platform::sim
