#include "Windows/TSL10Command.h"

#include "core/DataRequest.h"
#include "core/DeviceRequest.h"
#include "core/ErrorRecord.h"
#include "core/Request.h"
#include "device/IDevice.h"

namespace devio {
namespace TSL10Command {

namespace {

// The commands' continuations run on behalf of no particular object: the caller keeps the
// receiver alive, so the owner simply never expires.
RequestOwner command_owner()
{
    static const std::shared_ptr<void> owner = std::make_shared<int>(0);
    return owner;
}

const char* const kNullDevice = "null device pointer passed to TSL10Command!";

bool null_device(IDevice* device, const char* text = kNullDevice)
{
    if (device)
        return false;
    set_last_error(19, 0, text);
    return true;
}

// Executes a command and insists on a full short reply.
bool execute_short(IDevice* device, const std::vector<Byte>& command, std::vector<Byte>& reply)
{
    if (!device->execute(command, reply, 0, {}))
        return false;
    if (reply.size() < 7) {
        set_last_error(2, 0, nullptr);
        return false;
    }
    return true;
}

bool blocking_set(IDevice* device, Byte reg, Byte v4, Byte v5, Byte v6)
{
    if (null_device(device))
        return false;
    std::vector<Byte> reply;
    if (!execute_short(device, make_command(kSetShortRegister, reg, v4, v5, v6), reply))
        return false;
    set_last_error(0, 0, nullptr);
    return true;
}

} // namespace

std::vector<Byte> make_command(Byte subId, Byte reg, Byte v4, Byte v5, Byte v6)
{
    return {kShortReport, kReceiverIndex, subId, reg, v4, v5, v6};
}

std::shared_ptr<IDataRequest<ReceiverConnectionStateResponse>>
decode_connection_state(std::shared_ptr<IDeviceRequest> request)
{
    if (!request || !request->check_response())
        return make_data_failure_from_error<ReceiverConnectionStateResponse>();
    std::vector<Byte> payload = request->payload();
    payload.resize(payload.size() < 3 ? 3 : payload.size(), 0);
    ReceiverConnectionStateResponse response;
    response.connectedCount = payload[1];
    response.secondValue = payload[2];
    return make_data_success(response);
}

std::shared_ptr<IDataRequest<ReceiverPairedDeviceNameResponse>>
decode_paired_device_name(std::shared_ptr<IDeviceRequest> request)
{
    if (!request || !request->check_response())
        return make_data_failure_from_error<ReceiverPairedDeviceNameResponse>();
    std::vector<Byte> payload = request->payload();
    payload.resize(payload.size() < 16 ? 16 : payload.size(), 0);
    std::size_t length = payload[1];
    if (length > 14)
        length = 14;
    ReceiverPairedDeviceNameResponse response;
    response.name.assign(payload.begin() + 2, payload.begin() + 2 + static_cast<std::ptrdiff_t>(length));
    return make_data_success(response);
}

std::shared_ptr<IDataRequest<ReceiverConnectionStateResponse>> read_receiver_connection_state(IDevice* device)
{
    if (null_device(device, "null device pointer passed to read_receiver_connection_state!"))
        return make_data_failure<ReceiverConnectionStateResponse>(19, last_error().text, 0);
    auto request = device->send(make_command(kGetShortRegister, kRegConnectionState), 0, {}, nullptr, 0);
    return DataRequest<ReceiverConnectionStateResponse, IDeviceRequest, std::shared_ptr<IDeviceRequest>>::create(
        request, command_owner(), decode_connection_state, "decoding TSL10Command::ReceiverConnectionStateResponse");
}

std::shared_ptr<IRequest> set_receiver_connection_state(IDevice* device, bool announce)
{
    if (null_device(device, "null device pointer passed to set_receiver_connection_state!"))
        return make_immediate_result(19, last_error().text, 0);
    auto request = device->send(make_command(kSetShortRegister, kRegConnectionState, announce ? 2 : 0), 0, {},
                                nullptr, 0);
    return request->then(
        command_owner(),
        [](std::shared_ptr<IDeviceRequest> r) -> std::shared_ptr<IRequest> {
            return r->check_response() ? make_immediate_success() : make_immediate_failure_from_error();
        },
        "TSL10Command::set_receiver_connection_state");
}

std::shared_ptr<IDataRequest<ReceiverPairedDeviceNameResponse>> read_receiver_paired_device_name(IDevice* device,
                                                                                                 std::uint8_t slot)
{
    if (null_device(device, "null device pointer passed to read_receiver_paired_device_name!"))
        return make_data_failure<ReceiverPairedDeviceNameResponse>(19, last_error().text, 0);
    // Position 0 makes the reply echo the page, so concurrent name reads stay apart.
    auto request = device->send(make_command(kGetLongRegister, kRegPairingInfo, static_cast<Byte>(0x40 + slot)), 0,
                                {0}, nullptr, 0);
    return DataRequest<ReceiverPairedDeviceNameResponse, IDeviceRequest, std::shared_ptr<IDeviceRequest>>::create(
        request, command_owner(), decode_paired_device_name,
        "decoding TSL10Command::ReceiverPairedDeviceNameResponse");
}

bool open_receiver_lock(IDevice* device)
{
    return blocking_set(device, kRegPairing, 0x01, 0, 0);
}

bool close_receiver_lock(IDevice* device)
{
    return blocking_set(device, kRegPairing, 0x02, 0, 0);
}

bool unpair_receiver_device(IDevice* device, std::uint8_t index)
{
    return blocking_set(device, kRegPairing, 0x03, index, 0);
}

bool read_receiver_register_b3(IDevice* device, std::vector<Byte>& value)
{
    if (null_device(device))
        return false;
    std::vector<Byte> reply;
    if (!device->execute(make_command(kGetLongRegister, kRegB3), reply, 0, {}))
        return false;
    if (reply.size() >= 10) {
        // Never writes past what the caller gave us room for.
        if (value.size() < 6)
            value.resize(6);
        std::copy(reply.begin() + 4, reply.begin() + 10, value.begin());
    }
    set_last_error(0, 0, nullptr);
    return true;
}

bool update_receiver_short_register(IDevice* device, Byte reg, Byte set4, Byte set5, Byte set6, Byte clear4,
                                    Byte clear5, Byte clear6)
{
    if (null_device(device))
        return false;
    std::vector<Byte> reply;
    if (!execute_short(device, make_command(kGetShortRegister, reg), reply))
        return false;
    const Byte n4 = static_cast<Byte>((reply[4] & ~clear4) | set4);
    const Byte n5 = static_cast<Byte>((reply[5] & ~clear5) | set5);
    const Byte n6 = static_cast<Byte>((reply[6] & ~clear6) | set6);
    if (n4 == reply[4] && n5 == reply[5] && n6 == reply[6]) {
        set_last_error(0, 0, nullptr);
        return true;
    }
    std::vector<Byte> ack;
    if (!execute_short(device, make_command(kSetShortRegister, reg, n4, n5, n6), ack))
        return false;
    set_last_error(0, 0, nullptr);
    return true;
}

bool set_receiver_register_03_bit(IDevice* device, std::uint32_t bit)
{
    if (null_device(device))
        return false;
    std::vector<Byte> reply;
    if (!execute_short(device, make_command(kGetShortRegister, kRegDeviceBits), reply))
        return false;
    const Byte n4 = static_cast<Byte>(reply[4] | (bit < 8 ? (1u << bit) : 0u));
    std::vector<Byte> ack;
    if (!execute_short(device, make_command(kSetShortRegister, kRegDeviceBits, n4, reply[5], reply[6]), ack))
        return false;
    set_last_error(0, 0, nullptr);
    return true;
}

} // namespace TSL10Command
} // namespace devio
