// Bluetooth records and functions of "bthprops.cpl" and "BluetoothApis.dll" (reached through
// LoadLibraryW/GetProcAddress only).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#define BLUETOOTH_MAX_NAME_SIZE 248

typedef struct _BLUETOOTH_ADDRESS {
    union {
        ULONGLONG ullLong;
        BYTE rgBytes[6];
    };
} BLUETOOTH_ADDRESS;

typedef struct _SYSTEMTIME_BT {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
} BLUETOOTH_SYSTEMTIME;

typedef struct _BLUETOOTH_DEVICE_INFO {
    DWORD dwSize;
    BLUETOOTH_ADDRESS Address;
    ULONG ulClassofDevice;
    BOOL fConnected;
    BOOL fRemembered;
    BOOL fAuthenticated;
    BLUETOOTH_SYSTEMTIME stLastSeen;
    BLUETOOTH_SYSTEMTIME stLastUsed;
    WCHAR szName[BLUETOOTH_MAX_NAME_SIZE];
} BLUETOOTH_DEVICE_INFO;

static_assert(sizeof(BLUETOOTH_DEVICE_INFO) == 560, "BLUETOOTH_DEVICE_INFO is 560 bytes");
static_assert(offsetof(BLUETOOTH_DEVICE_INFO, Address) == 8, "address at offset 8");
static_assert(offsetof(BLUETOOTH_DEVICE_INFO, szName) == 64, "name at offset 64");

DWORD BluetoothGetDeviceInfo(HANDLE radio, BLUETOOTH_DEVICE_INFO* info);

// ---- Win32 GATT ("BluetoothApis.dll") ----
typedef struct _BTH_LE_UUID {
    BOOLEAN IsShortUuid;
    union {
        USHORT ShortUuid;
        GUID LongUuid;
    } Value;
} BTH_LE_UUID, *PBTH_LE_UUID;

typedef struct _BTH_LE_GATT_SERVICE {
    BTH_LE_UUID ServiceUuid;
    USHORT AttributeHandle;
} BTH_LE_GATT_SERVICE, *PBTH_LE_GATT_SERVICE;

typedef struct _BTH_LE_GATT_CHARACTERISTIC {
    USHORT ServiceHandle;
    BTH_LE_UUID CharacteristicUuid;
    USHORT AttributeHandle;
    USHORT CharacteristicValueHandle;
    BOOLEAN IsBroadcastable;
    BOOLEAN IsReadable;
    BOOLEAN IsWritable;
    BOOLEAN IsWritableWithoutResponse;
    BOOLEAN IsSignedWritable;
    BOOLEAN IsNotifiable;
    BOOLEAN IsIndicatable;
    BOOLEAN HasExtendedProperties;
} BTH_LE_GATT_CHARACTERISTIC, *PBTH_LE_GATT_CHARACTERISTIC;

typedef enum _BTH_LE_GATT_DESCRIPTOR_TYPE {
    CharacteristicExtendedProperties = 0,
    CharacteristicUserDescription = 1,
    ClientCharacteristicConfiguration = 2,
    ServerCharacteristicConfiguration = 3,
    CharacteristicFormat = 4,
    CharacteristicAggregateFormat = 5,
    CustomDescriptor = 6
} BTH_LE_GATT_DESCRIPTOR_TYPE;

typedef struct _BTH_LE_GATT_DESCRIPTOR {
    USHORT ServiceHandle;
    USHORT CharacteristicHandle;
    BTH_LE_GATT_DESCRIPTOR_TYPE DescriptorType;
    BTH_LE_UUID DescriptorUuid;
    USHORT AttributeHandle;
} BTH_LE_GATT_DESCRIPTOR, *PBTH_LE_GATT_DESCRIPTOR;

typedef struct _BTH_LE_GATT_DESCRIPTOR_VALUE {
    BTH_LE_GATT_DESCRIPTOR_TYPE DescriptorType;
    BTH_LE_UUID DescriptorUuid;
    struct {
        BOOLEAN IsSubscribeToNotification;
        BOOLEAN IsSubscribeToIndication;
    } ClientCharacteristicConfiguration;
    ULONG DataSize;
    UCHAR Data[1];
} BTH_LE_GATT_DESCRIPTOR_VALUE, *PBTH_LE_GATT_DESCRIPTOR_VALUE;

typedef struct _BTH_LE_GATT_CHARACTERISTIC_VALUE {
    ULONG DataSize;
    UCHAR Data[1];
} BTH_LE_GATT_CHARACTERISTIC_VALUE, *PBTH_LE_GATT_CHARACTERISTIC_VALUE;

typedef enum _BTH_LE_GATT_EVENT_TYPE { CharacteristicValueChangedEvent = 0 } BTH_LE_GATT_EVENT_TYPE;

typedef struct _BLUETOOTH_GATT_VALUE_CHANGED_EVENT_REGISTRATION {
    USHORT NumCharacteristics;
    BTH_LE_GATT_CHARACTERISTIC Characteristics[1];
} BLUETOOTH_GATT_VALUE_CHANGED_EVENT_REGISTRATION;

typedef struct _BLUETOOTH_GATT_VALUE_CHANGED_EVENT {
    USHORT ChangedAttributeHandle;
    size_t CharacteristicValueDataSize;
    PBTH_LE_GATT_CHARACTERISTIC_VALUE CharacteristicValue;
} BLUETOOTH_GATT_VALUE_CHANGED_EVENT;

typedef HANDLE BLUETOOTH_GATT_EVENT_HANDLE;
typedef void (*PFNBLUETOOTH_GATT_EVENT_CALLBACK)(BTH_LE_GATT_EVENT_TYPE type, PVOID eventParameter, PVOID context);

#define BLUETOOTH_GATT_FLAG_NONE 0x00000000
#define BLUETOOTH_GATT_FLAG_WRITE_WITHOUT_RESPONSE 0x00000020

HRESULT BluetoothGATTGetServices(HANDLE device, USHORT count, PBTH_LE_GATT_SERVICE services, USHORT* actual,
                                 ULONG flags);
HRESULT BluetoothGATTGetIncludedServices(HANDLE device, PBTH_LE_GATT_SERVICE parent, USHORT count,
                                         PBTH_LE_GATT_SERVICE services, USHORT* actual, ULONG flags);
HRESULT BluetoothGATTGetCharacteristics(HANDLE device, PBTH_LE_GATT_SERVICE service, USHORT count,
                                        PBTH_LE_GATT_CHARACTERISTIC characteristics, USHORT* actual, ULONG flags);
HRESULT BluetoothGATTGetDescriptors(HANDLE device, PBTH_LE_GATT_CHARACTERISTIC characteristic, USHORT count,
                                    PBTH_LE_GATT_DESCRIPTOR descriptors, USHORT* actual, ULONG flags);
HRESULT BluetoothGATTGetCharacteristicValue(HANDLE device, PBTH_LE_GATT_CHARACTERISTIC characteristic, ULONG size,
                                            PBTH_LE_GATT_CHARACTERISTIC_VALUE value, USHORT* required, ULONG flags);
HRESULT BluetoothGATTGetDescriptorValue(HANDLE device, PBTH_LE_GATT_DESCRIPTOR descriptor, ULONG size,
                                        PBTH_LE_GATT_DESCRIPTOR_VALUE value, USHORT* required, ULONG flags);
HRESULT BluetoothGATTSetDescriptorValue(HANDLE device, PBTH_LE_GATT_DESCRIPTOR descriptor,
                                        PBTH_LE_GATT_DESCRIPTOR_VALUE value, ULONG flags);
HRESULT BluetoothGATTRegisterEvent(HANDLE device, BTH_LE_GATT_EVENT_TYPE type, PVOID parameter,
                                   PFNBLUETOOTH_GATT_EVENT_CALLBACK callback, PVOID context,
                                   BLUETOOTH_GATT_EVENT_HANDLE* event, ULONG flags);
HRESULT BluetoothGATTUnregisterEvent(BLUETOOTH_GATT_EVENT_HANDLE event, ULONG flags);
HRESULT BluetoothGATTSetCharacteristicValue(HANDLE device, PBTH_LE_GATT_CHARACTERISTIC characteristic,
                                            PBTH_LE_GATT_CHARACTERISTIC_VALUE value, ULONGLONG reliableWriteContext,
                                            ULONG flags);
