// Device property keys and types of the simulated device tree.
// Types are declared once; the key macro follows initguid.h at each inclusion, as in the SDK.
#ifndef QUILLON_STANDIN_DEVPROPDEF_TYPES
#define QUILLON_STANDIN_DEVPROPDEF_TYPES

#include <windows.h>

#include <cstring>

typedef ULONG DEVPROPTYPE;
typedef DEVPROPTYPE* PDEVPROPTYPE;
typedef ULONG DEVPROPID;

#define DEVPROP_TYPE_EMPTY 0x00000000
#define DEVPROP_TYPE_NULL 0x00000001
#define DEVPROP_TYPE_UINT32 0x00000007
#define DEVPROP_TYPE_GUID 0x0000000D
#define DEVPROP_TYPE_STRING 0x00000012
#define DEVPROP_TYPE_BOOLEAN 0x00000011
#define DEVPROP_TYPEMOD_LIST 0x00002000
#define DEVPROP_TYPE_STRING_LIST (DEVPROP_TYPE_STRING | DEVPROP_TYPEMOD_LIST)

#define DEVPROPID_FIRST_USABLE 2

typedef struct _DEVPROPKEY {
    GUID fmtid;
    DEVPROPID pid;
} DEVPROPKEY, *PDEVPROPKEY;
typedef const DEVPROPKEY* PCDEVPROPKEY;

static_assert(sizeof(DEVPROPKEY) == 20, "DEVPROPKEY is 20 bytes");

inline bool operator==(const DEVPROPKEY& a, const DEVPROPKEY& b)
{
    return a.pid == b.pid && std::memcmp(&a.fmtid, &b.fmtid, sizeof(GUID)) == 0;
}

// As in the SDK: a key is only declared, unless the translation unit included initguid.h first;
// then it is defined, once per program whatever the number of such units (selectany there).
#endif  // QUILLON_STANDIN_DEVPROPDEF_TYPES

#ifdef DEFINE_DEVPROPKEY
#undef DEFINE_DEVPROPKEY
#endif
#ifdef INITGUID
#define DEFINE_DEVPROPKEY(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8, pid) \
    extern "C" const DEVPROPKEY name;                                          \
    extern "C" __attribute__((weak)) const DEVPROPKEY name = {{l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}, pid}
#else
#define DEFINE_DEVPROPKEY(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8, pid) extern "C" const DEVPROPKEY name
#endif
