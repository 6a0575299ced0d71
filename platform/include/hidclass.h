// Interface class of HID collections in the simulated device tree.
#pragma once

#include <windows.h>

// The class HidD_GetHidGuid reports; every HID collection exposes one interface of it.
inline constexpr GUID GUID_DEVINTERFACE_HID = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
