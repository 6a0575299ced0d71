#include "devices/SimHidDevice.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace platform::sim {

namespace {

std::atomic<unsigned> g_serial{1};

// The model of both collections: every output report goes to one handler.
class ForwardModel : public IHidDeviceModel {
public:
    explicit ForwardModel(SimHidDevice::OutputHandler handler) : m_handler(std::move(handler)) {}
    void onOutputReport(HidCollection&, const std::vector<std::uint8_t>& report) override
    {
        SimHidDevice::OutputHandler handler;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            handler = m_handler;
        }
        if (handler)
            handler(report);
    }

private:
    std::mutex m_mutex;
    SimHidDevice::OutputHandler m_handler;
};

std::string hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof(text), "%04X", value & 0xFFFF);
    return text;
}

}  // namespace

HidCollectionLayout SimHidDevice::collection_layout(std::uint16_t vendorId, std::uint16_t productId, bool longReport,
                                                const std::string& productString, DevInst parent,
                                                const std::string& tag)
{
    HidCollectionLayout layout = HidCollectionLayout::simple(vendorId, productId, 0xFF00, longReport ? 2 : 1,
                                                       longReport ? 0x11 : 0x10, longReport ? 20 : 7);
    // Protocol collections describe their input report as buttons: readers that take the report
    // id from the first input button capability find it there.
    layout.inputReports.front().button = true;
    layout.productString = productString;
    layout.parent = parent;
    layout.instanceId = "HID\\VID_" + hex4(vendorId) + "&PID_" + hex4(productId) + (longReport ? "&COL02\\" : "&COL01\\") +
                      tag + "&0&000" + (longReport ? "1" : "0");
    return layout;
}

void SimHidDevice::attach(const std::vector<std::shared_ptr<HidCollection>>& collections, OutputHandler onOutput)
{
    auto model = std::make_shared<ForwardModel>(std::move(onOutput));
    for (const auto& c : collections)
        if (c)
            c->set_model(model);
}

SimHidDevice::SimHidDevice(std::uint16_t productId, const std::string& productString, OutputHandler onOutput,
                           DevInst node, std::uint16_t vendorId, bool veryLong)
{
    const unsigned serial = g_serial.fetch_add(1);
    const std::string tag = "SIMHID" + std::to_string(serial);
    if (node == 0) {
        DevNodeLayout usb;
        usb.instanceId = "USB\\VID_" + hex4(vendorId) + "&PID_" + hex4(productId) + "\\" + tag;
        usb.enumeratorName = std::string("USB");
        m_node = add_dev_node(usb);
        m_own_node = true;
    } else {
        m_node = node;
    }
    if (veryLong) {
        m_short = create_hid_collection(very_long_layout(vendorId, productId, 0x10, productString, m_node, tag));
        m_long = create_hid_collection(very_long_layout(vendorId, productId, 0x11, productString, m_node, tag));
        m_very_long = create_hid_collection(very_long_layout(vendorId, productId, 0x12, productString, m_node, tag));
    } else {
        m_short = create_hid_collection(collection_layout(vendorId, productId, false, productString, m_node, tag));
        m_long = create_hid_collection(collection_layout(vendorId, productId, true, productString, m_node, tag));
    }
    attach(collections(), std::move(onOutput));
}

SimHidDevice::~SimHidDevice()
{
    // Stop the model first: no output report may reach a handler whose owner is going.
    auto idle = std::make_shared<ForwardModel>(nullptr);
    for (const auto& c : collections())
        c->set_model(idle);
    if (m_own_node)
        remove_dev_node(m_node);
}

bool SimHidDevice::send_input(const Bytes& report)
{
    if (report.empty())
        return false;
    if (report[0] == 0x12 && m_very_long)
        return m_very_long->send_input_report(report);
    return report[0] == 0x11 ? m_long->send_input_report(report) : m_short->send_input_report(report);
}

void SimHidDevice::plug()
{
    ::platform::sim::plug(m_node);
}

void SimHidDevice::unplug(Removal how)
{
    ::platform::sim::unplug(m_node, how);
}

bool SimHidDevice::is_present() const
{
    return ::platform::sim::is_present(m_node);
}

SimHidProtocolDevice::SimHidProtocolDevice(SimProtocolConfig config)
{
    const std::uint16_t pid = config.product_id;
    const std::string name = config.name;
    const bool veryLong = config.very_long_reports;
    m_model = std::make_unique<SimProtocolDevice>(std::move(config));
    SimProtocolDevice* model = m_model.get();
    m_hid = std::make_unique<SimHidDevice>(
        pid, name, [model](const Bytes& report) { model->write(report); }, 0, 0x7E51, veryLong);
    SimHidDevice* hid = m_hid.get();
    m_model->set_sink([hid](const Bytes& report) { hid->send_input(report); });
}

SimHidProtocolDevice::~SimHidProtocolDevice()
{
    m_model->set_sink(nullptr);
    m_hid.reset();
    m_model.reset();
}

}  // namespace platform::sim
