// Property keys of device nodes known to the simulated device tree. No include guard: like the
// SDK's, a second inclusion after initguid.h defines the keys.
#include <devpropdef.h>

// Name of the bus enumerator that created the device node ("USB", "BTHENUM", ...).
DEFINE_DEVPROPKEY(DEVPKEY_Device_EnumeratorName, 0xa45c254e, 0xdf1c, 0x4efd, 0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50,
                  0xe0, 24);
