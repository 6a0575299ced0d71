/* The receiver update engine's C interface: start it with a callback, read a device's record,
 * start a firmware update, stop it. Every event comes back through the one callback, from the
 * engine's own threads, one at a time. */
#ifndef QUILLON_QVAPI_H
#define QUILLON_QVAPI_H

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes (texts in QV_ErrorToString). */
enum QV_Result {
    QV_SUCCESS = 0,
    QV_INVALID_PARAM = 1,
    QV_INVALID_HANDLE = 2,
    QV_NOT_SUPPORTED = 3,
    QV_NO_FW_UPDATE = 4,
    QV_NEGATIVE_ANSWER = 5,
    QV_POSITIVE_ANSWER = 6,
    QV_LOW_BATTERY = 7,
    QV_DEVICE_ERROR = 8,
    QV_TOO_MANY_DEVICES = 9,
    QV_LINK_LOSS = 10,
    QV_RESOURCE_ERROR = 11,
    QV_GENERIC_DFU_ERROR = 12,
    QV_CRITICAL_ERROR = 13,
    QV_DFU_IN_PROGRESS = 14
};

/* Event codes (texts in QV_EventToString); the comment names the value each carries. */
enum QV_Event {
    QV_EVENT_DEVICE_ARRIVAL = 0,       /* the device's Parent */
    QV_EVENT_DEVICE_REMOVAL = 1,       /* its DevType (0 at the end of an update) */
    QV_EVENT_ENUMERATION_COMPLETE = 2, /* handle 0, value 0 */
    QV_EVENT_WIRELESS_STATUS = 3,      /* the new RadioStatus */
    QV_EVENT_DFU_PROGRESS = 4,         /* percent done */
    QV_EVENT_DFU_BATTERY_CHECK = 5,    /* 1 too low, 2 a state that forbids updating */
    QV_EVENT_DFU_STATUS_CHANGED = 6,   /* the new QV_DFUStatus */
    QV_EVENT_BATTERY_STATUS = 7,       /* the new battery code */
    QV_EVENT_USER_ACTIVITY = 8,        /* 1 active, 0 idle */
    QV_EVENT_DEVICE_POWER_UP = 9,      /* 0 */
    QV_EVENT_DFU_MILESTONE = 10,       /* the protocol's step number */
    QV_EVENT_PAIRING_STATUS = 11       /* 1 lock opened, 2 device paired, 0 lock closed */
};

/* Update state of a device, stored in DFUStatus and sent with event 6. */
enum QV_DFUStatus {
    QV_DFU_NO_NEWER_FW = 1,
    QV_DFU_NEWER_FW_AVAILABLE = 2, /* also: battery too low at the end of an update */
    QV_DFU_IN_PROGRESS_STATUS = 3,
    QV_DFU_FAILED = 4,
    QV_DFU_NO_FW_UPDATE = 5,
    QV_DFU_SUCCEEDED = 6,
    QV_DFU_CRITICAL_ERROR = 7
};

/* DevType values the application tells apart; other values are paired devices (1 mouse,
 * 2 keyboard, 3 numeric pad, 5..11 further types). */
enum QV_DevType {
    QV_DEVTYPE_RECEIVER = 0,
    QV_DEVTYPE_MOUSE = 1,
    QV_DEVTYPE_KEYBOARD = 2,
    QV_DEVTYPE_NUMPAD = 3,
    QV_DEVTYPE_BOOTLOADER = 4
};

/* The handle whose record is the constant generic receiver. */
#define QV_GENERIC_HANDLE ((int64_t)-1)

typedef struct QV_DEVICE_INFO {
    uint32_t DevType;
    uint32_t Reserved0;
    uint64_t Parent;      /* handle of the receiver behind which a paired device sits */
    int32_t RadioType;
    uint32_t ModelID;
    WCHAR Name[80];
    int32_t RadioStatus;  /* receivers: 3 no link, 4 link; paired: 0 reachable, 1 lost, 5 no radio */
    int32_t Flags;
    int32_t Slider;
    int32_t DFUStatus;    /* a QV_DFUStatus */
    int32_t Battery;
    WCHAR SN[80];
    WCHAR FW[80];         /* "%s_%03x_%03x_%05x": prefix, number, release, build */
    WCHAR NextFW[80];
    WCHAR BL[80];         /* "BL_%03x_%03x" */
    uint32_t Reserved1;
} QV_DEVICE_INFO;

typedef int (*QV_Callback)(void* context, uint64_t handle, uint32_t event, uint64_t value);

/* 0 started (also when the enumerator could not load its entry points), 3 already started. */
int QV_Init(QV_Callback callback, void* context);
/* No callback is made once this returns. */
void QV_Shutdown(void);
/* 0 copied, 1 out is null, 8 unknown handle; handle -1 gives the generic receiver. */
int QV_GetDeviceInfo(int64_t handle, QV_DEVICE_INFO* out);
/* 0 started, 1 a path too long, 2 unknown handle, 3 no file, 11 no resources, 14 busy. */
int QV_StartDFU(int64_t handle, unsigned int silent, int forceOldest, const WCHAR* firmwareFile,
                int forceCrash, const WCHAR* signatureFile);
const WCHAR* QV_ErrorToString(int code);
const WCHAR* QV_EventToString(int code);

#ifdef __cplusplus
}
static_assert(sizeof(QV_DEVICE_INFO) == 848, "QV_DEVICE_INFO is 848 bytes");
static_assert(offsetof(QV_DEVICE_INFO, Name) == 24, "Name at 24");
static_assert(offsetof(QV_DEVICE_INFO, RadioStatus) == 184, "RadioStatus at 184");
static_assert(offsetof(QV_DEVICE_INFO, SN) == 204, "SN at 204");
static_assert(offsetof(QV_DEVICE_INFO, BL) == 684, "BL at 684");
#endif

#endif /* QUILLON_QVAPI_H */
