#include "devices/SimHidBootloader.h"

#include <sim/IHidDeviceModel.h>

#include <atomic>
#include <cstdio>

namespace platform::sim {

namespace {

std::atomic<unsigned> g_serial{1};

class BootloaderModel : public IHidDeviceModel {
public:
    explicit BootloaderModel(std::weak_ptr<SimBootloader> model) : m_model(std::move(model)) {}
    void onOutputReport(HidCollection&, const std::vector<std::uint8_t>& report) override
    {
        if (auto model = m_model.lock())
            model->on_output_report(report);
    }

private:
    std::weak_ptr<SimBootloader> m_model;
};

}  // namespace

SimHidBootloader::SimHidBootloader(SimBootloaderConfig config, SimReceiverVersion application)
    : m_model(std::make_shared<SimBootloader>(config, application))
{
    const unsigned serial = g_serial.fetch_add(1);
    char id[64];
    std::snprintf(id, sizeof id, "USB\\VID_7E51&PID_%04X\\SIMBL%u", config.productId, serial);
    DevNodeLayout usb;
    usb.instanceId = id;
    usb.enumeratorName = std::string("USB");
    m_node = add_dev_node(usb);
    HidCollectionLayout layout = HidCollectionLayout::simple(0x7E51, config.productId, 0xFFB0, 1, 0,
                                                             static_cast<std::uint16_t>(SimBootloader::kReportLength));
    // The report id is found as that of the first input button capability.
    layout.inputReports.front().button = true;
    layout.productString = "Sim Receiver Bootloader";
    layout.parent = m_node;
    std::snprintf(id, sizeof id, "HID\\VID_7E51&PID_%04X\\SIMBL%u&0&0000", config.productId, serial);
    layout.instanceId = id;
    m_collection = create_hid_collection(layout);
    m_collection->set_model(std::make_shared<BootloaderModel>(m_model));
    std::weak_ptr<HidCollection> weak = m_collection;
    m_model->set_sink([weak](const Bytes& report) {
        if (auto c = weak.lock())
            c->send_input_report(report);
    });
}

SimHidBootloader::~SimHidBootloader()
{
    m_model->shut_down();
    m_model->set_sink(nullptr);
    m_collection->set_model(std::make_shared<BootloaderModel>(std::weak_ptr<SimBootloader>()));
    remove_dev_node(m_node);
}

void SimHidBootloader::plug()
{
    ::platform::sim::plug(m_node);
}

void SimHidBootloader::unplug(Removal how)
{
    ::platform::sim::unplug(m_node, how);
}

bool SimHidBootloader::is_present() const
{
    return ::platform::sim::is_present(m_node);
}

}  // namespace platform::sim
