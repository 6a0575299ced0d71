// The Bluetooth entry points of the system table with their own types: each looks its entry
// point up through the table (a missing library or entry is DevioException code 31 with the
// entry's own text) and calls it.
#pragma once

#include "Windows/Win32System.h"

#include <bluetoothapis.h>

namespace devio {

struct BluetoothEntries {
    static DWORD BluetoothGetDeviceInfo(IWin32System& system, HANDLE radio, BLUETOOTH_DEVICE_INFO* info)
    {
        using Fn = DWORD (*)(HANDLE, BLUETOOTH_DEVICE_INFO*);
        return cast<Fn>(system.bluetoothPropsEntry("BluetoothGetDeviceInfo",
                                                   "BluetoothGetDeviceInfo ProcAddress Missing"))(radio, info);
    }

    template <class F>
    static F cast(FARPROC proc)
    {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
    }
};

} // namespace devio
