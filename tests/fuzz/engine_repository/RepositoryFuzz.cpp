// The firmware folder after deciphering: several descriptors, plain, enciphered or in an envelope
// that does not decode, under file names of the device's firmware and of others, read back
// through the profile functions, then picked by mode for a device of some hardware revision.
//
// Input: [device hardware revision, 0: any] [mode] then descriptors separated by NUL bytes, at
// most 6, each [flags] + text (at most 768 bytes of it). Flags: bits 0..1 the envelope (plain, enciphered, enciphered with
// its check block damaged, enciphered with a wrong length: the last two do not decode); bits 2..4
// the file name (kNames). The device runs RQR_12_05_0010.
//
// What must hold: every candidate suits the device (family, number, hardware revision) and comes
// from a descriptor that decoded, with a path inside the folder; the pick is the highest
// candidate above the device (mode 0 or 1), the highest below it (2), or the lowest not above it
// (3), and nothing for any other mode.
#include "DescriptorEncoder.h"
#include "FSRepository.h"

#include <sim/Kernel.h>

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char kFolder[] = "C:\\Firmware";
const char kDevice[] = "RQR_12_05_0010";

// File names (an index follows, so two descriptors never share a file): above, below and equal
// to the device, another firmware number, another family, and a name that is no version.
const char* const kNames[8] = {"RQR_12_06_0002", "RQR_12_04_0001", "RQR_12_05_0010", "RQR_12_07_0000",
                               "RQR_12_05_0003", "RQR_13_06_0002", "RQS_12_06_0002", "RQR_12_x"};
// Every key is read through the profile functions, each reading the whole file again: longer or
// more descriptors would only slow the run down, not reach more.
constexpr std::size_t kMaxDescriptors = 6;
constexpr std::size_t kMaxText = 768;

void check(bool ok)
{
    if (!ok)
        std::abort();
}

struct Stored {
    std::string path;
    qv::VersionRecord version;
    bool named = false;     // the file name is a version
    bool decodes = false;
};

std::string envelope(const std::string& text, unsigned kind)
{
    if (kind == 0)
        return text;
    auto bytes = enginetest::encipher_descriptor(text);
    if (kind == 2)
        bytes.back() ^= 0x5A;   // the check block no longer matches
    else if (kind == 3)
        bytes[qv::descriptor_marker().size()] ^= 0x08;   // the plain length no longer fits the size
    return std::string(bytes.begin(), bytes.end());
}

std::string g_memoryRoot;

void remove_memory_root()
{
    std::error_code ec;
    std::filesystem::remove_all(g_memoryRoot, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    platform::sim::reset_machine();
    // Every input writes, reads and deletes files: in memory when the host has a memory file
    // system, so the disk's bookkeeping does not set the pace.
    char pattern[] = "/dev/shm/quillon-repository-XXXXXX";
    if (const char* made = ::mkdtemp(pattern)) {
        g_memoryRoot = made;
        std::atexit(remove_memory_root);
        platform::sim::set_machine_root(g_memoryRoot);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    qv::VersionRecord device;
    check(qv::split_version_text(qv::widen(kDevice), device));
    device.hardware = data[0];
    const int mode = data[1] & 7;

    std::vector<Stored> stored;
    std::size_t at = 2;
    while (at < size && stored.size() < kMaxDescriptors) {
        std::size_t end = at;
        while (end < size && data[end] != 0)
            ++end;
        if (end > at) {
            const std::uint8_t flags = data[at];
            const std::string text(reinterpret_cast<const char*>(data + at + 1), std::min(end - at - 1, kMaxText));
            const std::string name = std::string(kNames[(flags >> 2) & 7]) + "_" + std::to_string(stored.size());
            Stored s;
            s.path = std::string(kFolder) + "\\" + name + ".ini";
            s.named = qv::split_version_text(qv::widen(name), s.version);
            s.decodes = (flags & 3) < 2;
            check(platform::sim::write_file(s.path, envelope(text, flags & 3)));
            stored.push_back(s);
        }
        at = end + 1;
    }

    qv::FSRepository repo(qv::widen(kFolder));
    const std::vector<qv::FirmwareRecord> list = repo.candidates(device);
    const qv::WString prefix = qv::widen(std::string(kFolder) + "\\");
    for (const auto& c : list) {
        check(qv::WString(c.version.prefix, 3) == qv::WString(device.prefix, 3) && c.version.number == device.number);
        check(device.hardware == 0 || c.version.hardware == 0 || c.version.hardware == device.hardware);
        check(c.path.compare(0, prefix.size(), prefix) == 0 && c.path.size() < MAX_PATH);
        bool fromDecodable = false;
        for (const Stored& s : stored)
            fromDecodable = fromDecodable || (s.named && s.decodes && qv::compare_versions(s.version, c.version) == 0);
        check(fromDecodable);
    }

    // The pick, against the list.
    const qv::FirmwareRecord* expected = nullptr;
    for (const auto& c : list) {
        const int toDevice = qv::compare_versions(c.version, device);
        const int toExpected = expected ? qv::compare_versions(c.version, expected->version) : 0;
        switch (mode) {
        case 0:
        case 1:
            if (toDevice > 0 && (!expected || toExpected > 0))
                expected = &c;
            break;
        case 2:
            if (toDevice < 0 && (!expected || toExpected > 0))
                expected = &c;
            break;
        case 3:
            if (toDevice <= 0 && (!expected || toExpected < 0))
                expected = &c;
            break;
        default:
            break;
        }
    }
    qv::FirmwareRecord out;
    const bool picked = qv::FSRepository::pick(list, device, mode, out);
    check(picked == (expected != nullptr));
    if (picked)
        check(qv::compare_versions(out.version, expected->version) == 0 && out.path == expected->path);

    for (const Stored& s : stored)
        DeleteFileW(qv::widen(s.path).c_str());
    return 0;
}
