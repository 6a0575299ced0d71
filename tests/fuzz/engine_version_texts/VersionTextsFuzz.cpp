// Version texts: the bootloader's version reply, its 0x90 reply, and version or file-name splits.
#include "DFUPureHid.h"
#include "EngineTypes.h"
#include "HidDevice.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qv::VersionRecord v;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (qv::CDFUPureHid::ParseVersion(text, v) && !v.present())
        std::abort();
    qv::CHidDevice::parse_bootloader_reply(data, size, v);
    qv::WString wide;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        wide.push_back(static_cast<WCHAR>(data[i] | data[i + 1] << 8));
    if (qv::split_version_text(wide, v)) {
        // What splits also formats within a record's field.
        if (qv::version_text(v).size() >= 80)
            std::abort();
    }
    return 0;
}
