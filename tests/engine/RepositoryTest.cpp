// The firmware repository over descriptor files, plain and enciphered, in a seeded folder.
#include "DescriptorEncoder.h"
#include "FSRepository.h"

#include <gtest/gtest.h>
#include <sim/Kernel.h>

using namespace qv;

namespace {

const char kFolder[] = "C:\\Firmware";

struct Descriptor {
    std::string number = "12", release = "6", build = "2", hw = "1", family = "RQR";
    std::string location = "image.hex";
    std::string extra;
    std::string text() const
    {
        return "[FirmwareData]\r\nFWNumber=" + number + "\r\nFWRelease=" + release + "\r\nFWBuild=" + build +
               "\r\nHWRev=" + hw + "\r\nLocation=" + location + "\r\nDstFamily=" + family + "\r\n" + extra;
    }
};

class RepositoryTest : public ::testing::Test {
protected:
    void SetUp() override { platform::sim::reset_machine(); }

    static void put(const std::string& name, const std::string& content)
    {
        ASSERT_TRUE(platform::sim::write_file(std::string(kFolder) + "\\" + name, content));
    }
    static void put(const std::string& name, const Descriptor& d) { put(name, d.text()); }

    static VersionRecord version(const char* text)
    {
        VersionRecord v;
        EXPECT_TRUE(split_version_text(widen(text), v));
        return v;
    }

    std::string find(const char* device, int mode)
    {
        FSRepository repo(widen(kFolder));
        FirmwareRecord out;
        if (!repo.FindFirmware(version(device), out, mode))
            return "none";
        return narrow(version_text(out.version));
    }
};

Descriptor at(const char* release, const char* build)
{
    Descriptor d;
    d.release = release;
    d.build = build;
    return d;
}

TEST_F(RepositoryTest, Modes)
{
    put("RQR_012_004_00001.ini", at("4", "1"));
    put("RQR_012_005_00010.ini", at("5", "10"));
    put("RQR_012_006_00002.ini", at("6", "2"));
    put("RQR_013_009_00001.ini", [] { Descriptor d = at("9", "1"); d.number = "13"; return d; }());
    struct Row {
        int mode;
        const char* expected;
    };
    const Row rows[] = {{0, "RQR_012_006_00002"}, {1, "RQR_012_006_00002"}, {2, "RQR_012_004_00001"},
                        {3, "RQR_012_004_00001"}, {4, "none"}};
    for (const auto& row : rows)
        EXPECT_EQ(find("RQR_012_005_00010", row.mode), row.expected) << "mode " << row.mode;
    EXPECT_EQ(find("RQR_012_006_00002", 1), "none") << "nothing newer";
    EXPECT_EQ(find("RQR_012_004_00001", 2), "none") << "nothing older";
    EXPECT_EQ(find("RQR_012_004_00001", 3), "RQR_012_004_00001") << "the device's own version is not above it";
    EXPECT_EQ(find("RQK_012_004_00001", 1), "none") << "another family";
}

TEST_F(RepositoryTest, FirstListedOfEqualVersionsWins)
{
    Descriptor a = at("6", "2"), b = at("6", "2");
    a.location = "first.hex";
    b.location = "second.hex";
    put("RQR_012_006_00002.ini", a);
    put("RQR_012_006_00002_b.ini", b);
    FSRepository repo(widen(kFolder));
    FirmwareRecord out;
    ASSERT_EQ(repo.FindFirmware(version("RQR_012_001_00001"), out, 0), 1);
    EXPECT_EQ(narrow(out.path), "C:\\Firmware\\first.hex");
}

TEST_F(RepositoryTest, InvalidDescriptorsAreSkipped)
{
    struct Row {
        const char* name;
        std::string content;
        bool used;
    };
    Descriptor good = at("6", "2");
    Descriptor wrongBuild = good;
    wrongBuild.build = "3";
    Descriptor wrongFamily = good;
    wrongFamily.family = "RQK";
    Descriptor otherHardware = good;
    otherHardware.hw = "2";
    Descriptor swTooNew = good;
    swTooNew.extra = "[MinimumRequirements]\r\nMinSWVersionMajor=2\r\nMinSWVersionMinor=10\r\nMinSWVersionBuild=14\r\n";
    Descriptor swExact = good;
    swExact.extra = "[MinimumRequirements]\r\nMinSWVersionMajor=2\r\nMinSWVersionMinor=10\r\nMinSWVersionBuild=13\r\n";
    Descriptor fwTooOld = good;
    fwTooOld.extra = "[MinimumRequirements]\r\nMinFWVersionNumber=12\r\nMinFWVersionRelease=2\r\n";
    Descriptor notHex = good;
    notHex.release = "x6";
    std::string noLocation = good.text();
    noLocation.replace(noLocation.find("Location"), 8, "Elsewhere");
    // Folder "C:\\Firmware" and a separator: 12 characters before the location.
    Descriptor longest = good;
    longest.location = std::string(247, 'a');
    Descriptor tooLong = good;
    tooLong.location = std::string(248, 'a');
    auto enciphered = enginetest::encipher_descriptor(good.text());
    auto corrupted = enciphered;
    corrupted.back() ^= 0x55;
    const Row rows[] = {
        {"valid", good.text(), true},
        {"build differs from the file name", wrongBuild.text(), false},
        {"family differs from the file name", wrongFamily.text(), false},
        {"other hardware revision", otherHardware.text(), false},
        {"needs engine 2.10.14", swTooNew.text(), false},
        {"needs engine 2.10.13", swExact.text(), true},
        {"needs newer device firmware", fwTooOld.text(), false},
        {"number not hexadecimal", notHex.text(), false},
        {"no location", noLocation, false},
        {"image path of 259 characters", longest.text(), true},
        {"image path beyond 259 characters", tooLong.text(), false},
        {"no FirmwareData section", "[Other]\r\nFWNumber=12\r\n", false},
        {"enciphered", std::string(enciphered.begin(), enciphered.end()), true},
        {"enciphered, wrong check block", std::string(corrupted.begin(), corrupted.end()), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        platform::sim::reset_machine();
        put("RQR_012_006_00002.ini", row.content);
        // The device runs hardware revision 1.
        EXPECT_EQ(find("RQR_012_001_00001_0001", 0) != "none", row.used);
        // The plain text never stays behind in the temporary folder.
        std::string leftover;
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        EXPECT_FALSE(platform::sim::read_file(narrow(temp) + "DFUTempFile.ini", leftover));
    }
}

TEST_F(RepositoryTest, RecordCarriesLimitsAndOverrides)
{
    Descriptor d = at("6", "2");
    d.extra = "[MinimumRequirements]\r\nDowngradeAllowNumber=12\r\n[FirmwareProtocolOverrides]\r\n"
              "MaxSinglePacketAttempts=7\r\nPingDelayInMS=20\r\nMaxTimeRequiredForUSBEnumInMS=900\r\n";
    put("RQR_012_006_00002.ini", d);
    FSRepository repo(widen(kFolder));
    FirmwareRecord out;
    ASSERT_EQ(repo.FindFirmware(version("RQR_012_005_00001"), out, 0), 1);
    EXPECT_EQ(out.version.hardware, 1);
    EXPECT_EQ(out.downgrade[0], 0x12u);
    EXPECT_EQ(out.overrides[kMaxAttempts], 7u);
    EXPECT_EQ(out.overrides[kPingDelay], 20u);
    EXPECT_EQ(out.overrides[kUsbEnumWait], 900u);
    EXPECT_EQ(out.overrides[kCrcWait], 0u);
    EXPECT_EQ(out.restartLimit, 0u);
}

TEST_F(RepositoryTest, LoadImage)
{
    FSRepository repo(widen(kFolder));
    EXPECT_EQ(repo.LoadImage(nullptr), QV_RESOURCE_ERROR);
    FirmwareRecord r;
    r.path = widen("C:\\Firmware\\missing.hex");
    EXPECT_EQ(repo.LoadImage(&r), QV_RESOURCE_ERROR);
    put("empty.hex", "");
    r.path = widen("C:\\Firmware\\empty.hex");
    EXPECT_EQ(repo.LoadImage(&r), QV_RESOURCE_ERROR) << "an empty image is refused";
    put("image.hex", ":00000001FF\r\n");
    r.path = widen("C:\\Firmware\\image.hex");
    ASSERT_EQ(repo.LoadImage(&r), QV_SUCCESS);
    EXPECT_EQ(r.image.size(), 13u);
}

TEST_F(RepositoryTest, NoFolderFindsNothing)
{
    FSRepository none(WString{});
    FirmwareRecord out;
    EXPECT_EQ(none.FindFirmware(version("RQR_012_001_00001"), out, 0), 0);
    FSRepository missing(widen("C:\\Nowhere"));
    EXPECT_EQ(missing.FindFirmware(version("RQR_012_001_00001"), out, 0), 0);
}

}  // namespace
