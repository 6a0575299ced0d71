// The Bluetooth entry points of the system table with their own types: each looks its entry
// point up through the table (a missing library or entry is DevioException code 31 with the
// entry's own text) and calls it.
#pragma once

#include "Windows/Win32System.h"

#include <bluetoothapis.h>
#include <bluetoothleapis.h>

namespace devio {

struct BluetoothEntries {
    static DWORD BluetoothGetDeviceInfo(IWin32System& system, HANDLE radio, BLUETOOTH_DEVICE_INFO* info)
    {
        using Fn = DWORD (*)(HANDLE, BLUETOOTH_DEVICE_INFO*);
        return cast<Fn>(system.bluetoothPropsEntry("BluetoothGetDeviceInfo",
                                                   "BluetoothGetDeviceInfo ProcAddress Missing"))(radio, info);
    }

#define QUILLON_GATT_ENTRY(name, params, args)                                                              \
    static HRESULT name(IWin32System& system, QUILLON_UNPAREN params)                                        \
    {                                                                                                        \
        using Fn = HRESULT (*)(QUILLON_UNPAREN params);                                                      \
        return cast<Fn>(system.bluetoothApisEntry(#name, #name " ProcAddress Missing"))(QUILLON_UNPAREN args); \
    }
#define QUILLON_UNPAREN(...) __VA_ARGS__

    QUILLON_GATT_ENTRY(BluetoothGATTGetServices,
                       (HANDLE d, USHORT n, PBTH_LE_GATT_SERVICE s, USHORT* a, ULONG f), (d, n, s, a, f))
    QUILLON_GATT_ENTRY(BluetoothGATTGetIncludedServices,
                       (HANDLE d, PBTH_LE_GATT_SERVICE p, USHORT n, PBTH_LE_GATT_SERVICE s, USHORT* a, ULONG f),
                       (d, p, n, s, a, f))
    QUILLON_GATT_ENTRY(BluetoothGATTGetCharacteristics,
                       (HANDLE d, PBTH_LE_GATT_SERVICE s, USHORT n, PBTH_LE_GATT_CHARACTERISTIC c, USHORT* a, ULONG f),
                       (d, s, n, c, a, f))
    QUILLON_GATT_ENTRY(BluetoothGATTGetDescriptors,
                       (HANDLE d, PBTH_LE_GATT_CHARACTERISTIC c, USHORT n, PBTH_LE_GATT_DESCRIPTOR x, USHORT* a, ULONG f),
                       (d, c, n, x, a, f))
    QUILLON_GATT_ENTRY(BluetoothGATTGetCharacteristicValue,
                       (HANDLE d, PBTH_LE_GATT_CHARACTERISTIC c, ULONG n, PBTH_LE_GATT_CHARACTERISTIC_VALUE v, USHORT* r,
                        ULONG f),
                       (d, c, n, v, r, f))
    QUILLON_GATT_ENTRY(BluetoothGATTGetDescriptorValue,
                       (HANDLE d, PBTH_LE_GATT_DESCRIPTOR x, ULONG n, PBTH_LE_GATT_DESCRIPTOR_VALUE v, USHORT* r, ULONG f),
                       (d, x, n, v, r, f))
    QUILLON_GATT_ENTRY(BluetoothGATTSetDescriptorValue,
                       (HANDLE d, PBTH_LE_GATT_DESCRIPTOR x, PBTH_LE_GATT_DESCRIPTOR_VALUE v, ULONG f), (d, x, v, f))
    QUILLON_GATT_ENTRY(BluetoothGATTRegisterEvent,
                       (HANDLE d, BTH_LE_GATT_EVENT_TYPE t, PVOID p, PFNBLUETOOTH_GATT_EVENT_CALLBACK c, PVOID x,
                        BLUETOOTH_GATT_EVENT_HANDLE* e, ULONG f),
                       (d, t, p, c, x, e, f))
    QUILLON_GATT_ENTRY(BluetoothGATTUnregisterEvent, (BLUETOOTH_GATT_EVENT_HANDLE e, ULONG f), (e, f))
    QUILLON_GATT_ENTRY(BluetoothGATTSetCharacteristicValue,
                       (HANDLE d, PBTH_LE_GATT_CHARACTERISTIC c, PBTH_LE_GATT_CHARACTERISTIC_VALUE v, ULONGLONG r,
                        ULONG f),
                       (d, c, v, r, f))
#undef QUILLON_GATT_ENTRY
#undef QUILLON_UNPAREN

    template <class F>
    static F cast(FARPROC proc)
    {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
    }
};

} // namespace devio
