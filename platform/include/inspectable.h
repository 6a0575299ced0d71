// The stand-in's COM and Windows Runtime core: IUnknown, IInspectable, HSTRING, event tokens
// and the string and activation entry points of "combase.dll". Interface ids are plain GUIDs;
// an interface names its own with a static `iid()`.
#pragma once

#include <windows.h>

#include <cstdint>

struct HSTRING__;
typedef HSTRING__* HSTRING;

typedef unsigned char boolean;

struct EventRegistrationToken {
    std::int64_t value = 0;
};

enum TrustLevel { BaseTrust = 0, PartialTrust = 1, FullTrust = 2 };

#define E_BOUNDS ((HRESULT)0x8000000BL)
#define E_CHANGED_STATE ((HRESULT)0x8000000CL)
#define E_ILLEGAL_METHOD_CALL ((HRESULT)0x8000000EL)
#define RO_E_CLOSED ((HRESULT)0x80000013L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define HRESULT_UNREACHABLE ((HRESULT)0x800710D0L)

struct IUnknown {
    static const IID& iid()
    {
        static const IID id = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
        return id;
    }
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IInspectable : IUnknown {
    static const IID& iid()
    {
        static const IID id = {0xAF86E2E0, 0xB12D, 0x4C6A, {0x9C, 0x5A, 0xD7, 0xAA, 0x65, 0x10, 0x1E, 0x90}};
        return id;
    }
    virtual HRESULT GetIids(ULONG* count, IID** iids) = 0;
    virtual HRESULT GetRuntimeClassName(HSTRING* name) = 0;
    virtual HRESULT GetTrustLevel(TrustLevel* level) = 0;

protected:
    ~IInspectable() = default;
};

// Objects that any thread may call (the free-threaded marshaller answers for it).
struct IAgileObject : IUnknown {
    static const IID& iid()
    {
        static const IID id = {0x94EA2B94, 0xE9CC, 0x49E0, {0xC0, 0xFF, 0xEE, 0x64, 0xCA, 0x8F, 0x5B, 0x90}};
        return id;
    }

protected:
    ~IAgileObject() = default;
};

struct IClosable : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x30D5A829, 0x7FA4, 0x4026, {0x83, 0xBB, 0xD7, 0x5B, 0xAE, 0x4E, 0xA9, 0x9E}};
        return id;
    }
    virtual HRESULT Close() = 0;

protected:
    ~IClosable() = default;
};

struct IActivationFactory : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x00000035, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
        return id;
    }
    virtual HRESULT ActivateInstance(IInspectable** instance) = 0;

protected:
    ~IActivationFactory() = default;
};

// combase.dll, reached through LoadLibraryExW/GetProcAddress only.
HRESULT RoInitialize(std::uint32_t type);
HRESULT RoGetActivationFactory(HSTRING classId, REFIID iid, void** factory);
HRESULT RoActivateInstance(HSTRING classId, IInspectable** instance);
HRESULT WindowsCreateString(const WCHAR* text, std::uint32_t length, HSTRING* string);
HRESULT WindowsDeleteString(HSTRING string);
const WCHAR* WindowsGetStringRawBuffer(HSTRING string, std::uint32_t* length);
