#pragma once
#include "core/DataRequest.h"
#include "core/Types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace devio {

class IHardwareBus;

// Transport kinds returned by getTransportType.
enum TransportType : std::uint32_t {
    TransportUsbHid = 0,
    TransportReceiver = 1,
    TransportClassicBluetooth = 2,
    TransportBluetoothLE = 3,
    TransportGatt = 4,
};

// One HID collection or other endpoint; concrete devices derive from Producer of each event.
class IHardwareDevice {
public:
    class Connect {
    public:
        virtual void onConnect(std::shared_ptr<IHardwareDevice> /*device*/) {}
        virtual void onDisconnect(std::shared_ptr<IHardwareDevice> /*device*/) {}
        virtual ~Connect() = default;
    };
    class FastDisconnect {
    public:
        virtual void onFastDisconnect() {}
        virtual ~FastDisconnect() = default;
    };
    class Read {
    public:
        // status 0: data; otherwise the platform error and data is empty. relayed: from a receiver.
        virtual void onRead(std::vector<Byte> /*data*/, bool /*relayed*/, unsigned /*status*/, unsigned /*length*/) {}
        virtual ~Read() = default;
    };
    class Write {
    public:
        virtual void onWrite(std::vector<Byte> /*data*/, ErrorCode /*code*/, unsigned /*detail*/) {}
        virtual ~Write() = default;
    };

    virtual ~IHardwareDevice() = default;
    virtual bool isConnected() = 0;
    // Idempotent; false sets the last error.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool write(std::vector<Byte> report, bool awaitReply) = 0;
    // Empty when the bus is gone.
    virtual std::shared_ptr<IHardwareBus> getBus() = 0;
    virtual std::string getPath() = 0;
    virtual void appendPaths(std::vector<std::string>& out) { out.push_back(getPath()); }
    virtual std::uint16_t getProductId() = 0;
    virtual std::string getName() = 0;
    virtual std::shared_ptr<IDataRequest<std::string>> nameRequest() = 0;
    virtual std::uint32_t reserved11() { return 0; }
    virtual std::uint32_t getTransportType() = 0;
    // Device index behind a receiver (1..7), else 0.
    virtual std::uint32_t getSubIndex() = 0;
    // Before a request is written again.
    virtual void beforeRetry() {}
    virtual std::uint32_t getResponseTimeout() { return 3000; }
    virtual std::uint32_t replyToken() { return 0; }
    virtual void onReply(std::uint32_t /*token*/) {}
    virtual std::uint64_t receiverPassThrough(std::uintptr_t /*a*/, std::uintptr_t /*b*/, std::uintptr_t /*c*/)
    {
        return 0;
    }
    virtual bool stillPresent() { return true; }
    // Collections with equal parent ids belong to one physical device.
    virtual std::string getParentId() { return getPath(); }
    virtual std::uint32_t getUsage() { return 2; }
    virtual std::uint32_t getProtocolKind() { return 2; }
    virtual std::uint32_t getMaxReportLength() { return 20; }
};

} // namespace devio
