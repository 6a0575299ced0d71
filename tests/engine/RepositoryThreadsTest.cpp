// The repository asked from two threads at once: each search reads its own descriptors back,
// though both pass through the one temporary file.
#include "DescriptorEncoder.h"
#include "FSRepository.h"

#include <gtest/gtest.h>
#include <sim/Kernel.h>

#include <atomic>
#include <thread>

using namespace qv;

namespace {

std::string descriptor(const char* number, const char* release, const char* family, const char* location)
{
    return std::string("[FirmwareData]\r\nFWNumber=") + number + "\r\nFWRelease=" + release +
           "\r\nFWBuild=1\r\nHWRev=0\r\nLocation=" + location + "\r\nDstFamily=" + family + "\r\n";
}

TEST(RepositoryThreadsTest, TwoSearchersAtOnce)
{
    platform::sim::reset_machine();
    struct Searcher {
        const char* device;
        const char* expected;
        const char* path;
    };
    const Searcher searchers[] = {
        {"RQR_012_001_00001", "RQR_012_006_00001", "C:\\Firmware\\receiver.hex"},
        {"RQK_024_001_00001", "RQK_024_009_00001", "C:\\Firmware\\keyboard.bin"},
    };
    ASSERT_TRUE(platform::sim::write_file("C:\\Firmware\\RQR_012_006_00001.ini", descriptor("12", "6", "RQR", "receiver.hex")));
    ASSERT_TRUE(platform::sim::write_file("C:\\Firmware\\RQR_012_005_00001.ini", descriptor("12", "5", "RQR", "old.hex")));
    const auto enciphered = enginetest::encipher_descriptor(descriptor("24", "9", "RQK", "keyboard.bin"));
    ASSERT_TRUE(platform::sim::write_file("C:\\Firmware\\RQK_024_009_00001.ini", std::string(enciphered.begin(), enciphered.end())));

    FSRepository repo(widen("C:\\Firmware"));
    std::atomic<int> wrong{0};
    auto search = [&](const Searcher& s) {
        VersionRecord device;
        split_version_text(widen(s.device), device);
        for (int i = 0; i < 60; ++i) {
            FirmwareRecord out;
            if (repo.FindFirmware(device, out, 0) != 1 || narrow(version_text(out.version)) != s.expected ||
                narrow(out.path) != s.path)
                ++wrong;
        }
    };
    std::thread a(search, searchers[0]);
    std::thread b(search, searchers[1]);
    a.join();
    b.join();
    EXPECT_EQ(wrong.load(), 0);
    std::string leftover;
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    EXPECT_FALSE(platform::sim::read_file(narrow(temp) + "DFUTempFile.ini", leftover));
}

}  // namespace
