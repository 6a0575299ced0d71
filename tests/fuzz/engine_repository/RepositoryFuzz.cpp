// The firmware folder after deciphering: descriptor text, plain or enciphered, read back through
// the profile functions and picked by mode. Input: a flags byte (bit 0 encipher, bits 1..2 the
// mode), then the descriptor text, stored under two file names of the device's firmware number.
#include "DescriptorEncoder.h"
#include "FSRepository.h"

#include <sim/Kernel.h>

#include <cstdlib>

namespace {

const char kFolder[] = "C:\\Firmware";

void check(bool ok)
{
    if (!ok)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool machine = [] {
        platform::sim::reset_machine();
        return true;
    }();
    (void)machine;
    if (size < 1)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string stored = text;
    if (data[0] & 1) {
        const auto enciphered = enginetest::encipher_descriptor(text);
        stored.assign(enciphered.begin(), enciphered.end());
    }
    for (const char* name : {"RQR_12_06_0002.ini", "RQR_12_04_0001.ini"})
        check(platform::sim::write_file(std::string(kFolder) + "\\" + name, stored));

    qv::VersionRecord device;
    check(qv::split_version_text(qv::widen("RQR_12_05_0010"), device));
    qv::FSRepository repo(qv::widen(kFolder));
    qv::FirmwareRecord out;
    if (repo.FindFirmware(device, out, (data[0] >> 1) & 3)) {
        check(out.version.number == 0x12);
        const qv::WString prefix = qv::widen(std::string(kFolder) + "\\");
        check(out.path.compare(0, prefix.size(), prefix) == 0 && out.path.size() < MAX_PATH);
    }
    return 0;
}
