// How the HID bus makes the Bluetooth buses of this library; the composition root installs them.
#pragma once

#include "Windows/Win32Bus.h"

namespace devio {

BluetoothBusMakers bluetooth_bus_makers();

} // namespace devio
