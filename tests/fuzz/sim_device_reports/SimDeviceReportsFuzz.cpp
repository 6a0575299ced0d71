// Arbitrary host reports into the receiver and bootloader models: they answer or refuse, never
// crash, and the version text of a scenario is read or refused.
// Input: a selector byte (bootloader family, latency-free), then chunks of [length][bytes]; even
// chunks go to the receiver, odd ones to the bootloader; the last chunk is also read as a version.
#include "devices/SimBootloader.h"
#include "devices/SimReceiver.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace platform::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    SimBootloaderFamily family = static_cast<SimBootloaderFamily>(1 + data[0] % 3);
    SimBootloaderConfig config = sim_bootloader_config(family);
    if (data[0] & 0x80)
        config.pageSize = 0;
    if (data[0] & 0x40)
        config.windowEnd = 0xFFFF;
    std::size_t answers = 0;
    SimReceiver receiver(0xC510, 0x01020304);
    receiver.set_sink([&](const std::vector<std::uint8_t>&) { ++answers; });
    receiver.pair(1, 0x4001, "Fuzz", [&](const std::vector<std::uint8_t>&) { ++answers; });
    SimBootloader bootloader(config, SimReceiverVersion{});
    bootloader.set_sink([&](const std::vector<std::uint8_t>&) { ++answers; });
    std::string last;
    std::size_t at = 1;
    for (unsigned chunk = 0; at < size; ++chunk) {
        const std::size_t length = data[at++];
        const std::size_t n = length < size - at ? length : size - at;
        const std::vector<std::uint8_t> report(data + at, data + at + n);
        at += n;
        if (chunk % 2 == 0)
            receiver.on_output_report(report);
        else
            bootloader.on_output_report(report);
        last.assign(report.begin(), report.end());
    }
    SimReceiverVersion version;
    parse_receiver_version(last, version);
    receiver.shut_down();
    bootloader.shut_down();
    (void)answers;
    return 0;
}
