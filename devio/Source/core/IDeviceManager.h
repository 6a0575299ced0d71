#pragma once
#include "core/Configuration.h"
#include "core/IRunLoopManager.h"
#include "core/Types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace devio {

class IDevice;
class IHardwareBus;
class IHardwareDevice;

class IDeviceManager : public IRunLoopManager {
public:
    class ArrivalRemoval {
    public:
        virtual void onDeviceArrival(std::shared_ptr<IDevice> /*device*/) {}
        virtual void onDeviceRemoval(std::shared_ptr<IDevice> /*device*/) {}
        virtual ~ArrivalRemoval() = default;
    };
    class ActiveChanged {
    public:
        virtual void onActiveChanged(bool /*active*/) {}
        virtual ~ActiveChanged() = default;
    };
    class ConfigChanged {
    public:
        virtual void onConfigChanged(ConfigItem /*item*/, bool /*value*/) {}
        virtual ~ConfigChanged() = default;
    };
    class UnreportedError {
    public:
        virtual void onUnreportedError(const char* /*context*/, ErrorCode /*code*/, const char* /*text*/,
                                       unsigned long /*detail*/)
        {
        }
        virtual ~UnreportedError() = default;
    };

    virtual std::vector<std::shared_ptr<IDevice>> getDevices() = 0;
    virtual std::vector<std::shared_ptr<IDevice>> getChildDevices(std::shared_ptr<IDevice> parent) = 0;
    virtual void setSoftwareId(int id) = 0;
    virtual std::uint32_t getSoftwareId() = 0;
    virtual bool is_active() = 0;
    virtual void set_active(bool active) = 0;
    virtual void reportError(const char* context) = 0;
    virtual void setCacheDirectory(std::string directory) = 0;
    virtual bool getDefaultConfig(ConfigItem item, bool* value) = 0;
    virtual bool getConfig(ConfigItem item, bool* value) = 0;
    virtual bool setConfig(ConfigItem item, bool value) = 0;
    virtual bool start() = 0;
    virtual std::shared_ptr<IDevice> createDevice(std::shared_ptr<IHardwareDevice> hardware, bool noReceiver,
                                                  std::uint32_t productId) = 0;
    virtual bool addBus(std::shared_ptr<IHardwareBus> bus) = 0;
    virtual void removeBus(std::shared_ptr<IHardwareBus> bus) = 0;
};

} // namespace devio
