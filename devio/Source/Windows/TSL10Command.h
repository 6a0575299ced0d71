// Register commands of protocol 1.0, as sent to a USB receiver's own protocol device.
// Every command goes through the receiver device's request queue, so register traffic
// is serialised with everything else sent to the receiver.
#pragma once

#include "core/Types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace devio {

class IDevice;
class IRequest;
class IDeviceRequest;
template <typename T> class IDataRequest;

namespace TSL10Command {

// Report id, receiver index and sub-ids of the register protocol.
enum : Byte { kShortReport = 0x10, kReceiverIndex = 0xFF, kSetShortRegister = 0x80, kGetShortRegister = 0x81,
              kGetLongRegister = 0x83, kErrorReply = 0x8F };
// The receiver's error for a request to a paired device whose link is down.
enum : Byte { kErrUnreachable = 0x09 };
// The registers the system uses.
enum : Byte { kRegNotifications = 0x00, kRegConnectionState = 0x02, kRegDeviceBits = 0x03, kRegPairing = 0xB2,
              kRegB3 = 0xB3, kRegPairingInfo = 0xB5 };

struct ReceiverConnectionStateResponse {
    std::uint32_t connectedCount = 0;
    std::uint32_t secondValue = 0;
};

struct ReceiverPairedDeviceNameResponse {
    std::string name;
};

// 7-byte register command: 0x10, 0xFF, sub-id, register, three value bytes.
std::vector<Byte> make_command(Byte subId, Byte reg, Byte v4 = 0, Byte v5 = 0, Byte v6 = 0);

// Decoders of the asynchronous commands' replies (the device request has completed).
std::shared_ptr<IDataRequest<ReceiverConnectionStateResponse>>
decode_connection_state(std::shared_ptr<IDeviceRequest> request);
std::shared_ptr<IDataRequest<ReceiverPairedDeviceNameResponse>>
decode_paired_device_name(std::shared_ptr<IDeviceRequest> request);

std::shared_ptr<IDataRequest<ReceiverConnectionStateResponse>> read_receiver_connection_state(IDevice* device);
std::shared_ptr<IRequest> set_receiver_connection_state(IDevice* device, bool announce);
// slot = device index - 1
std::shared_ptr<IDataRequest<ReceiverPairedDeviceNameResponse>> read_receiver_paired_device_name(IDevice* device,
                                                                                                 std::uint8_t slot);
bool open_receiver_lock(IDevice* device);
bool close_receiver_lock(IDevice* device);
bool unpair_receiver_device(IDevice* device, std::uint8_t index);
bool read_receiver_register_b3(IDevice* device, std::vector<Byte>& value);
bool update_receiver_short_register(IDevice* device, Byte reg, Byte set4, Byte set5, Byte set6, Byte clear4,
                                    Byte clear5, Byte clear6);
bool set_receiver_register_03_bit(IDevice* device, std::uint32_t bit);

} // namespace TSL10Command
} // namespace devio
