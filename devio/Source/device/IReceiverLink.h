#pragma once

namespace devio {

// The receiver link of a hardware device behind a receiver: the three register operations a
// device needs for its configuration bookkeeping. The receiver transport's hardware device
// implements it; the device finds it by a dynamic cast of its hardware device.
class IReceiverLink {
public:
    virtual ~IReceiverLink() = default;
    // Sets bit 0x08 of parameter byte 2 of short register 0x00 once per receiver.
    virtual bool set_receiver_flag() = 0;
    // Sets the device's slot bit in short register 0x03.
    virtual bool set_receiver_slot_bit() = 0;
    // Clears the bit of register 0x00 again.
    virtual bool clear_receiver_flag() = 0;
};

} // namespace devio
