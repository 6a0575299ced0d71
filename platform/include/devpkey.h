// Property keys of device nodes known to the simulated device tree.
#pragma once

#include <devpropdef.h>

// Name of the bus enumerator that created the device node ("USB", "BTHENUM", ...).
inline constexpr DEVPROPKEY DEVPKEY_Device_EnumeratorName = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 24};
