#pragma once
#include "core/DeviceManager.h"
#include "core/IDeviceManager.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace devio {

// Process-wide facade over the device manager, which it creates on first use.
// Pumping, posting, flushing, reporting and removing a bus never create a manager.
class CDevio : public IDeviceManager {
public:
    using ManagerMaker = std::function<std::shared_ptr<DeviceManager>()>;

    // maker builds a new manager (default: a plain DeviceManager).
    explicit CDevio(ManagerMaker maker = {});
    ~CDevio() override;

    // The process's facade, wired to the real buses and devices (devio library).
    static CDevio& instance();

    std::shared_ptr<IDeviceManager> get_manager();
    std::shared_ptr<DeviceManager> get_or_create_manager();
    std::shared_ptr<DeviceManager> get_existing_manager();
    // Drops the manager and its queued work; a later creating call starts a new one.
    void close();

    void post(std::function<bool()> callable, void* subscriber, void* producer, std::string name) override;
    void process() override;
    void flush(void* subscriber, void* producer) override;
    std::vector<std::shared_ptr<IDevice>> getDevices() override;
    std::vector<std::shared_ptr<IDevice>> getChildDevices(std::shared_ptr<IDevice> parent) override;
    void setSoftwareId(int id) override;
    std::uint32_t getSoftwareId() override;
    bool is_active() override;
    void set_active(bool active) override;
    void reportError(const char* context) override;
    void setCacheDirectory(std::string directory) override;
    bool getDefaultConfig(ConfigItem item, bool* value) override;
    bool getConfig(ConfigItem item, bool* value) override;
    bool setConfig(ConfigItem item, bool value) override;
    bool start() override;
    std::shared_ptr<IDevice> createDevice(std::shared_ptr<IHardwareDevice> hardware, bool noReceiver,
                                          std::uint32_t productId) override;
    bool addBus(std::shared_ptr<IHardwareBus> bus) override;
    void removeBus(std::shared_ptr<IHardwareBus> bus) override;

private:
    ManagerMaker m_maker;
    std::shared_ptr<DeviceManager> m_manager;
    std::mutex m_mutex;
    bool m_closing = false;
    std::atomic<bool> m_closed{false};
};

} // namespace devio
