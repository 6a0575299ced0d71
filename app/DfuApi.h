// The C-style interface between the wizard and the device provider: plain values,
// opaque handles, fixed-size records and one event callback.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Identity of an adapter; valid from its arrival event to its removal event. 0 names no device.
typedef std::uint64_t DFU_DEVICE;

typedef std::uint32_t DFU_EVENTTYPE;
enum : DFU_EVENTTYPE {
    DFU_EVENT_DEVICE_ARRIVAL = 0,
    DFU_EVENT_DEVICE_REMOVAL = 1,
    DFU_EVENT_ENUMERATION_COMPLETE = 2,
    DFU_EVENT_CONNECTED = 3,
    DFU_EVENT_DISCONNECTED = 4,
    DFU_EVENT_PROGRESS = 5,   // parameter: percent done, 0..100
    DFU_EVENT_STATUS = 6,     // parameter: one of DFU_STATUS_*
};

// Parameter of DFU_EVENT_STATUS.
enum : int {
    DFU_STATUS_STARTED = 0,
    DFU_STATUS_SUCCEEDED = 1,
    DFU_STATUS_FAILED = 2,
};

// Result codes of the API and of cDFUDevice. Code 5 is never returned.
enum : int {
    DFU_OK = 0,
    DFU_ERR_INVALID_PARAM = 1,
    DFU_ERR_INVALID_HANDLE = 2,
    DFU_ERR_NOT_SUPPORTED = 3,
    DFU_ERR_FAILED = 4,
    DFU_ERR_NO_ENTRY = 6,
    DFU_ERR_LOW_BATTERY = 7,
    DFU_ERR_POWER_CYCLE = 8,
    DFU_ERR_WAIT_RECONNECT = 9,
};

// connectionKind of DFU_DEVICE_INFO.
enum : std::uint32_t {
    DFU_CONNECTION_UNKNOWN = 0,
    DFU_CONNECTION_BLUETOOTH = 1,
    DFU_CONNECTION_BLUETOOTH_LE = 2,
    DFU_CONNECTION_RECEIVER = 3,
    DFU_CONNECTION_USB = 4,   // also every engine device
};

struct DFU_DEVICE_INFO {
    char name[88];   // at most 80 characters; the last 8 bytes stay zero
    std::uint32_t connectionKind;
    std::uint32_t productId;
    std::uint32_t entityCount;
    char version[80];   // at most 79 characters
    std::uint8_t online;
    std::uint8_t inDfu;
    std::uint32_t unitId;
    std::uint32_t reserved;
};
static_assert(sizeof(DFU_DEVICE_INFO) == 192, "DFU_DEVICE_INFO is a 192-byte record");
static_assert(offsetof(DFU_DEVICE_INFO, connectionKind) == 88, "DFU_DEVICE_INFO layout");
static_assert(offsetof(DFU_DEVICE_INFO, version) == 100, "DFU_DEVICE_INFO layout");
static_assert(offsetof(DFU_DEVICE_INFO, online) == 180, "DFU_DEVICE_INFO layout");
static_assert(offsetof(DFU_DEVICE_INFO, unitId) == 184, "DFU_DEVICE_INFO layout");

struct DFU_DEVICE_ENTRY {
    std::uint32_t reserved0;
    char prefix[4];          // at most 3 characters ("BL": the bootloader)
    std::uint16_t version;   // number in the high byte, revision in the low byte
    std::uint16_t build;
    std::uint32_t reserved1;
};
static_assert(sizeof(DFU_DEVICE_ENTRY) == 16, "DFU_DEVICE_ENTRY is a 16-byte record");
static_assert(offsetof(DFU_DEVICE_ENTRY, prefix) == 4, "DFU_DEVICE_ENTRY layout");
static_assert(offsetof(DFU_DEVICE_ENTRY, version) == 8, "DFU_DEVICE_ENTRY layout");
static_assert(offsetof(DFU_DEVICE_ENTRY, build) == 10, "DFU_DEVICE_ENTRY layout");

// Called with the registration mutex held (and, for arrivals and protocol-device removals,
// the provider mutex too): it must not call back into the API.
typedef void (*DFU_Callback)(void* context, DFU_DEVICE device, DFU_EVENTTYPE event, int parameter);
typedef int (*DFU_LogCallback)(const char* format, va_list args);

extern "C" {
int DFU_Init(DFU_Callback callback, void* context);
int DFU_StartDetection();
int DFU_SetLogCallback(DFU_LogCallback callback);
int DFU_GetDeviceInfo(DFU_DEVICE device, DFU_DEVICE_INFO* out);
int DFU_GetDeviceEntry(DFU_DEVICE device, int index, DFU_DEVICE_ENTRY* out);
// The images are copied before the call returns.
int DFU_StartUpdate(DFU_DEVICE device, const char* image, int length, const char* secondImage, int secondLength,
                    bool mainFirst);
// The buffers are written to files before the call returns.
int DFU_StartReceiverUpdate(DFU_DEVICE device, const char* image, int length, const char* signature,
                            int signatureLength);
}
