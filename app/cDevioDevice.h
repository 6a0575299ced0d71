// A keyboard or mouse of the feature-based protocol as a cDFUDevice: its information block
// and firmware entities, and the firmware update through the update feature 0x00D0.
#pragma once

#include "DfuPacing.h"
#include "cDFUDevice.h"

#include "core/ITimer.h"
#include "core/Subscriber.h"
#include "device/IDevice.h"
#include "features/IFeature00d0DFU.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace devio {
class Timer;
}

// What an adapter needs of its owner: event delivery and the detection switch.
struct DfuAdapterHost {
    std::function<void(DFU_DEVICE, DFU_EVENTTYPE, int)> notify;
    std::function<void(bool)> setDetection;   // empty: the devio facade's item 4
};

class cDevioDevice : public cDFUDevice,
                     public devio::Subscriber<devio::IFeature00d0DFU::Report>,
                     public devio::Subscriber<devio::IDevice::Connect>,
                     public devio::Subscriber<devio::ITimer::TimerEvent> {
public:
    static constexpr unsigned kTransferTimeoutMs = 15000;
    static constexpr std::size_t kPacketSize = DfuPacing::kPacketSize;

    cDevioDevice(std::shared_ptr<devio::IDevice> device, DfuAdapterHost host);
    ~cDevioDevice() override;

    int getInfo(DFU_DEVICE_INFO* out) override;
    int getEntry(int index, DFU_DEVICE_ENTRY* out) override;
    int startUpdate(const char* image, int length, const char* secondImage, int secondLength,
                    bool mainFirst) override;

    bool isDevice(const std::shared_ptr<devio::IDevice>& device) const;

    void onDfuStatus(std::uint32_t packetNumber, std::vector<devio::Byte> payload) override;
    using devio::IDevice::Connect::onConnect;
    void onConnect(std::shared_ptr<devio::IDevice> device) override;
    void onDisconnect(std::shared_ptr<devio::IDevice> device) override;
    // The device found its firmware changed (into or out of its bootloader, or updated) and
    // forgot its features: read it again as at a connection.
    void onFirmwareChanged(std::shared_ptr<devio::IDevice> device) override;
    void onTimerEvent(int id) override;

private:
    std::shared_ptr<devio::IDevice> device() const;
    std::shared_ptr<devio::IFeature00d0DFU> dfuFeature() const;
    std::string readName(bool online);
    bool refreshFirmwareInfo();
    int enterBootloader();
    bool sendPacket(std::uint32_t packetNumber);
    void failTransfer();
    void watchDfuFeature(const std::shared_ptr<devio::IFeature00d0DFU>& feature);
    void notify(DFU_EVENTTYPE event, int parameter);
    void setDetection(bool on);
    void selectImage(bool second);
    void armWatchdog();
    void stopWatchdog();
    int progressPercent() const;

    const DfuAdapterHost m_host;

    // Adapter mutex: the information block, the entity list, and the device and update
    // feature references (replaced by the provider thread at each connection).
    mutable std::mutex m_mutex;
    std::shared_ptr<devio::IDevice> m_device;
    std::shared_ptr<devio::IFeature00d0DFU> m_dfu;
    DFU_DEVICE_INFO m_info{};
    std::vector<DFU_DEVICE_ENTRY> m_entries;

    std::shared_ptr<devio::Timer> m_timer;

    // Transfer lock: every transfer field, whichever thread (the API caller or the provider
    // thread) sends a packet or handles a status. Recursive: a handler holds it around sendPacket.
    mutable std::recursive_mutex m_transfer_mutex;
    bool m_active = false;
    bool m_resume_on_connect = false;
    std::vector<char> m_main;
    std::vector<char> m_second;
    bool m_current_is_second = false;
    std::uint8_t m_restart_parameter = 0xFF;
    // Offset and packet count of the current image, and what to send next.
    DfuPacing m_pacing;
    // The transfer time-out: when it falls due (empty while no packet waits for an answer),
    // and whether the timer runs.
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    bool m_timer_armed = false;
};
