#pragma once
#include "core/Types.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace devio {

class IDevice;

// Receiver side of a receiver bus.
class IReceiver {
public:
    // Raw bytes of the locking notification (bytes 3 and 4).
    enum State : std::uint8_t {};
    enum ErrorType : std::uint8_t {};

    class LockingChange {
    public:
        virtual void onLockingChange(std::shared_ptr<IDevice> /*receiver*/, State /*state*/, ErrorType /*error*/) {}
        virtual ~LockingChange() = default;
    };
    class RegisterZeroOverwritten {
    public:
        virtual void onRegisterZeroOverwritten() {}
        virtual ~RegisterZeroOverwritten() = default;
    };

    virtual ~IReceiver() = default;
    virtual std::vector<std::shared_ptr<IDevice>> getChildDevices() = 0;
    // The six value bytes of long register 0xB3.
    virtual bool getLongRegisterB3(std::vector<Byte>& value) = 0;
    virtual std::uint32_t getSerialNumber() = 0;
    virtual bool matchesReceiverPidPair() = 0;
    virtual bool openLock() = 0;
    virtual bool closeLock() = 0;
    virtual bool unpair(std::uint32_t index) = 0;
};

} // namespace devio
