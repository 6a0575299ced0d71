// The firmware repository: descriptor files in the firmware folder name the images and the
// devices they suit.
#pragma once

#include "EngineTypes.h"

#include <mutex>
#include <string>
#include <vector>

namespace qv {

class FirmwareRepository {
public:
    virtual ~FirmwareRepository() = default;
    // Mode 0 (= 1) the highest above the device, 2 the highest below, 3 the lowest not above.
    virtual int FindFirmware(const VersionRecord& device, FirmwareRecord& out, int mode) = 0;
    // 0, or 11 when the image cannot be read (or is empty).
    virtual int LoadImage(FirmwareRecord* record) = 0;
};

class FSRepository : public FirmwareRepository {
public:
    explicit FSRepository(WString folder);
    static FSRepository& instance();

    int FindFirmware(const VersionRecord& device, FirmwareRecord& out, int mode) override;
    int LoadImage(FirmwareRecord* record) override;

    // The candidates for a device version, in directory-listing order.
    std::vector<FirmwareRecord> candidates(const VersionRecord& device);
    // Picks from candidates by mode; false when nothing fits.
    static bool pick(const std::vector<FirmwareRecord>& candidates, const VersionRecord& device, int mode,
                     FirmwareRecord& out);
    // Reads a descriptor (plain INI text) through the profile functions; false when unusable.
    static bool read_descriptor(const WString& iniPath, const VersionRecord& fileVersion, const WString& folder,
                                FirmwareRecord& out);

    static constexpr std::uint32_t kSwMajor = 2, kSwMinor = 10, kSwBuild = 13;

private:
    WString m_folder;
    std::mutex m_mutex;  // one "DFUTempFile.ini" at a time
};

// Reads a whole file by its Windows path; false when it cannot be opened or read.
bool read_whole_file(const WString& path, std::vector<std::uint8_t>& out);

}  // namespace qv
